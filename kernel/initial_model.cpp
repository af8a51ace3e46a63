#include "kernel/initial_model.h"

namespace NS_InitialModel {

InitialModel::~InitialModel() = default;

} // namespace NS_InitialModel
