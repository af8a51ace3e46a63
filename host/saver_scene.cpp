#include "host/saver_scene.h"

#include "scene/scene_model.h"

NS_InitialModel::InitialModel& SaverScene()
{
    return sceneModel;
}
