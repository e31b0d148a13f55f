#include "hosts/common/ProcessSetup.h"

namespace zibbles::host {

// Nothing to set: the Windows heap serves blocks as large as a body straight from virtual memory
// and gives them back to the system when they are freed.
void setUpProcess() {}

} // namespace zibbles::host
