#pragma once

// Each preset's reader, made by the presets' table (indicator_presets.cpp); the readers live in
// files by the shape of their frames.

#include <memory>

#include "core/reading/indicator_format.h"

namespace station::preset {

// status_line_presets.cpp
std::unique_ptr<IndicatorFormat> MakeCsvStatus();
std::unique_ptr<IndicatorFormat> MakeLetterStatus();
std::unique_ptr<IndicatorFormat> MakeLfRange();
std::unique_ptr<IndicatorFormat> MakeSign6Status();
// stx_presets.cpp; "=" frames are read reversed unless `reversed` is false
std::unique_ptr<IndicatorFormat> MakeStxStatus();
std::unique_ptr<IndicatorFormat> MakeStxPolarity();
std::unique_ptr<IndicatorFormat> MakeStxEtx();
std::unique_ptr<IndicatorFormat> MakeCrEtx();
std::unique_ptr<IndicatorFormat> MakeEqualsFrame(bool reversed);
// marked_presets.cpp
std::unique_ptr<IndicatorFormat> MakeWChecksum();
std::unique_ptr<IndicatorFormat> MakeMarker();
std::unique_ptr<IndicatorFormat> MakeIdLine();
std::unique_ptr<IndicatorFormat> MakeDollar();
std::unique_ptr<IndicatorFormat> MakePolled();
// block_preset.cpp
std::unique_ptr<IndicatorFormat> MakeBlock();

}  // namespace station::preset
