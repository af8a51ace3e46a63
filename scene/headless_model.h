// The rain scene without its renderer: an initial model that hands a universe the
// scene's own handlers ("Drop", "DropsManager", "Rain"), or a chosen few of them.
// For the headless runner, the soak runs and the tests.
#pragma once

#include <cstdint>

#include "kernel/initial_model.h"

class HeadlessSceneModel : public NS_InitialModel::InitialModel {
public:
    enum Handlers : std::uint32_t {
        WithDrop = 1,
        WithDropsManager = 2,
        WithRain = 4,
        WithAll = 7,
    };

    explicit HeadlessSceneModel(std::uint32_t which = WithAll) : handlers(which) {}
    ~HeadlessSceneModel() override;

    void CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& out) override;

private:
    std::uint32_t handlers;
};
