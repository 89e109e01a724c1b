// The time offset's process lifecycle: mstime_init sets it at process
// initialisation, end() clears it at process end so that the next
// initialisation starts from no offset.
#pragma once

namespace qrv::mstime {

void end() noexcept;

}  // namespace qrv::mstime
