// Names a file can have that a code page would not hold or would change:
// the tests reach a file by each, exactly as it is written.
#pragma once

#include <string>
#include <vector>

#include "platform/unicode.h"

namespace vx::test {

inline std::vector<std::string> UnicodeFileNames() {
  return {
      FromU8(u8"café.txt"),             // Latin: a best-fit mapping makes it cafe.txt
      FromU8(u8"한국어.txt"),           // Korean
      FromU8(u8"😀.txt"),               // outside the basic plane: a surrogate pair
      FromU8(u8"𠮷野家.txt"),           // a surname character outside the basic plane
      FromU8(u8"中文简体.txt"),         // simplified Chinese, partly outside code page 932
      FromU8(u8"re\u0301sume\u0301.txt"),  // e + a combining acute, as macOS writes it
      "trailing dot.",                    // Windows reads a typed name without it
      "trailing space ",
  };
}

}  // namespace vx::test
