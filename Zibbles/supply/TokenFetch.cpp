#include "Zibbles/ZibblesBounceView.h"

namespace zibbles {

// FIXME: the token supply lands with the URL session.
void ZibblesBounceView::fetchOne() {}

} // namespace zibbles
