#pragma once

// The inspector's one-line JSON answer for one input.

#include "hosts/InspectChain.h"

#include <string>

namespace zibbles::inspect {

// {"stages":[...],"pixels":[[x,y,w,h,"#rrggbbaa"],...],"content":[x,y,w,h]} on success;
// {"stages":[...],"pixels":null,"stage":"...","error":"..."} on failure. No trailing newline.
std::string inspectionJson(const Inspection& inspection);

} // namespace zibbles::inspect
