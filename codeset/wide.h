// The formatting engine's wide translator (Wchar to UTF8), which the
// library layer installs at process start.
#pragma once

#include "fmt/engine.h"

namespace qrv::codeset {

const fmt::WideTranslator *wide_translator() noexcept;

}  // namespace qrv::codeset
