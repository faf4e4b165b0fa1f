// The executables under test are named by the build, which on Linux hands
// out Unix paths; CreateProcess inside Wine wants DOS paths.
#pragma once

#include <string>

namespace driver {

// A path with a drive letter or a UNC prefix is returned as it is; an
// absolute Unix path becomes the DOS path Wine maps it to (Z:\... by default).
std::wstring ToWindowsPath(const std::wstring& path);

// The value of an environment variable, or the empty text.
std::wstring EnvVar(const wchar_t* name);

}  // namespace driver
