#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "text/windows_text.h"

namespace sigilflip::testing {

// The items of a list box, as UTF-8, read through the Win32 API.
inline std::vector<std::string> ListBoxItems(HWND list) {
  std::vector<std::string> items;
  const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int item = 0; item < count; ++item) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, item, 0)) + 1,
                      L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(list, LB_GETTEXT, item, reinterpret_cast<LPARAM>(text.data()))));
    items.push_back(native::Utf8FromWide(text));
  }
  return items;
}

}  // namespace sigilflip::testing
