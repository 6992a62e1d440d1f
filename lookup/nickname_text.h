// Turning the bytes of a nickname file into the GBK text that is listed.
#ifndef MORVELLIN_LOOKUP_NICKNAME_TEXT_H_
#define MORVELLIN_LOOKUP_NICKNAME_TEXT_H_

#include <string_view>

#include "lookup/text.h"

namespace morvellin {

// Files as people have them: a file that is valid UTF-8 (a byte-order mark is
// dropped) is converted to GBK, any other file is taken as GBK. The text ends
// before the first byte 0x00 or 0x1A found at a character start (a lead byte
// followed directly by 0x00 ends it before the lead byte). A lone LF becomes
// CR LF, so that each line of the file is one entry of SplitAtCrLf.
Text NicknameTextFromFile(std::string_view file_bytes);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_NICKNAME_TEXT_H_
