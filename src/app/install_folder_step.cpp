#include "app/creation_steps.h"

namespace klv {

void ResolveInstallFolder() {}

}  // namespace klv
