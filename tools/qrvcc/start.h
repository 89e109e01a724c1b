// What qrvcc and qrvar do before and after their work: find the
// installation beside the program, start and end the library.
#ifndef QRV_TOOLS_QRVCC_START_H
#define QRV_TOOLS_QRVCC_START_H

namespace qrv::tools {

// Starts the library with the build tools' cascade. When QUORVELPATH is
// unset or empty and <folder of this program>/../config/options exists,
// that folder's parent is the installation. False after printing the
// error stack when init fails.
bool start(const char *program_name) noexcept;
// Ends what start began.
void finish() noexcept;

}  // namespace qrv::tools

#endif
