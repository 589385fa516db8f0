#include "input/key_code.h"

namespace tonmiro::input {

bool isReportedKeyCode(int code) {
    switch (code) {
    case 8:
    case 9:
    case 13:
    case 27:
    case 32:
    case 39:
    case 59:
    case 61:
    case 91:
    case 92:
    case 93:
    case 96:
        return true;
    default:
        return (code >= 44 && code <= 57) || (code >= 97 && code <= 122) || (code >= 128 && code <= 175);
    }
}

} // namespace tonmiro::input
