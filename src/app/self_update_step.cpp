#include "app/creation_steps.h"

namespace klv {

void StartSelfUpdate(TFrm_OxMain& /*window*/, const std::string& /*version*/) {}

}  // namespace klv
