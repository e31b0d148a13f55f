#pragma once

// The inspector's one-line JSON answer for one input.

#include "hosts/common/StagedDecoding.h"

#include <string>

namespace zibbles::inspect {

// {"stages":[...],"pixels":[[x,y,w,h,"#rrggbbaa"],...],"content":[x,y,w,h]} on success;
// {"stages":[...],"pixels":null,"stage":"...","error":"..."} on failure. No trailing newline.
std::string inspectionJson(const host::StagedDecoding& inspection);
// The same, appended to out: a batch writes many into one buffer that it keeps.
void appendInspectionJson(std::string& out, const host::StagedDecoding& inspection);

// text as a JSON string, quotes included.
std::string jsonQuoted(std::string_view text);

// {"stages":[],"pixels":null,"stage":"<stage>","error":"<message>"}: a failure before any stage
// ran, such as a request that brought no answer ("request"). No trailing newline.
std::string failureBeforeStagesJson(std::string_view stage, std::string_view message);

} // namespace zibbles::inspect
