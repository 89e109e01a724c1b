// Process settings established by the library's mode-1 init: the
// installation directory and the temporary directory. Called by the
// library's own layer under the init lock.
#pragma once

namespace qrv::settings {

// Resolves the installation directory (msbasic_get_quorvelpath). False with
// 16301 or 16309 when neither an installation nor the built-in store has an
// initialisation file.
bool resolve_installation() noexcept;
// Forgets the resolved directory; a preset made by the program stays.
void end_installation() noexcept;

// Activates the temporary-directory state and chooses the directory: the
// first of MSTMPDIR (environment or initialisation file), TMPDIR, TEMP, TMP
// that is set, else "."; it must be a directory. False with 16522.
bool choose_tmpdir() noexcept;
// Deactivates the state, empties the text and destroys its mutex.
void end_tmpdir() noexcept;

}  // namespace qrv::settings
