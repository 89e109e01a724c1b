// The process-wide variable files, loaded and released by the library's
// own layer (frame/library.cpp) under the init lock.
#pragma once

namespace qrv::vars {

// Reads config/initfile.txt of a real installation directory, or the one
// of the built-in store when there is none (or the directory has no such
// file). False with 16302 on top of the reader's errors.
bool load_initfile() noexcept;
// An installation directory too long to name its files: 16151
// (ENAMETOOLONG), 16114 with the directory, 16302 on top; false.
bool refuse_installation(const char *directory) noexcept;
// Reads the file named by MSENVFILE when it names an existing file; from
// then on it replaces the process environment for msvars_getenv. False
// with 16519 on top of the reader's errors.
bool load_envfile() noexcept;
// Releases the environment-file set, then the initialisation-file set.
void release_files() noexcept;

}  // namespace qrv::vars
