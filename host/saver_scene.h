// The scene a saver program runs, chosen by the program's link: the rain scene
// (saver_scene.cpp) in the shipped programs; a test build links in its own.
#pragma once

namespace NS_InitialModel {
class InitialModel;
}

NS_InitialModel::InitialModel& SaverScene();
