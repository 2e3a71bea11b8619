#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Text and paths as the Windows API takes them (Windows only).
namespace sigilflip::native {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The system's text for an error code, in the user's language, without the full stop "." and line
// end that Windows puts after it.
std::string SystemMessage(unsigned long error);

// The full path that Windows makes of `name` (GetFullPathNameW): absolute, normalised, with
// backslashes, \\server\share kept; `name` itself when Windows makes none.
std::wstring FullPathName(const std::wstring& name);

// The path in the \\?\ form, which file calls accept beyond MAX_PATH characters: the full path,
// or a path already in the \\?\ or \\.\ form as it stands.
std::wstring LongPath(const std::filesystem::path& path);

}  // namespace sigilflip::native
