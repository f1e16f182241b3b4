// The scramble of the request and answer texts, and what a script receives for an answer.
//
// The alphabets are stored, not derived: the game servers hold the same tables. Each maps 0 to
// 0, because a NUL byte ends a request body: scrambling must never make one where the script's
// text had none.
#include "net/KeshUrlConnect.h"

#include <algorithm>

const char kPostPattern[] = "31132221311323123312211321133221";

const uint8_t kPostAlphabets[3][256] = {
    // alphabet 1: encode half, then decode half
    {
          0,  13,  61,  60,  75,  94,  88,  19,  42,  81,  51,  11,  98, 108, 101, 110,
         57,  36,  16,  15,  55,  30,  71,  38,  17,  80,  65, 102, 113,  46,  12,  50,
        120,  21, 118,  39,  40,  56,  96, 103,  78, 124,  31,  28,  92,  47,  69, 109,
         10,  87,  83,  54,  91,  93, 104,  76,  14,  44, 106,   3, 116,  34,  45,  89,
         64,  86,  97,   6, 107,   8,  67,  33,   7,  72,  43, 123,  41, 111, 127,   5,
        122,  48,  37,  84,  85,  32,  23,   9,  74,  35,   1, 114,  24, 105,  59, 126,
        121, 100,  63,  27,  70,  99,  25, 117,   2,  66,  62,  26,  82, 112,  53,  95,
         58,  22,  73,  68,  77,  18, 119,  20,  49,  79,   4,  90,  29,  52, 115, 125,
          0,  90, 104,  59, 122,  79,  67,  72,  69,  87,  48,  11,  30,   1,  56,  19,
         18,  24, 117,   7, 119,  33, 113,  86,  92, 102, 107,  99,  43, 124,  21,  42,
         85,  71,  61,  89,  17,  82,  23,  35,  36,  76,   8,  74,  57,  62,  29,  45,
         81, 120,  31,  10, 125, 110,  51,  20,  37,  16, 112,  94,   3,   2, 106,  98,
         64,  26, 105,  70, 115,  46, 100,  22,  73, 114,  88,   4,  55, 116,  40, 121,
         25,   9, 108,  50,  83,  84,  65,  49,   6,  63, 123,  52,  44,  53,   5, 111,
         38,  66,  12, 101,  97,  14,  27,  39,  54,  93,  58,  68,  13,  47,  15,  77,
        109,  28,  91, 126,  60, 103,  34, 118,  32,  96,  80,  75,  41, 127,  95,  78,
    },
    // alphabet 2: encode half, then decode half
    {
          0,  15,  22,  31, 115,  98,  69,  55,  74,  23, 100,  62,  59,  14,  89,  67,
         32, 122,  84,  37, 109,  20, 114,  24, 117,  38,  46,   1,  92, 101,  75,  45,
         72,  93,  56,  12,   9,  99,  91, 105, 103,  13,   5,  11,  94,  90,  33, 102,
         79,  87,  63,  68,  88,  60, 120,  21,  36,  53,  77,  57,  95,   8, 118,  78,
         29,  35,   3,  49,  18,   7,  30,  17,  61,  28, 111,  42,  50,  66,  73, 123,
        116, 113,  40,  80,  58,  85,  65,  70,  82, 119,  81,  16,  71,  83, 112, 127,
        124,  34,   6, 104,  97, 126,   4,  52,  27,  19,  51, 106, 125,  41,  43, 107,
         48, 108, 110, 121,  54,  39,  86,  26,  64,  96,  44,  47,  25,   2,  10,  76,
          0,  27, 125,  66, 102,  42,  98,  69,  61,  36, 126,  43,  35,  41,  13,   1,
         91,  71,  68, 105,  21,  55,   2,   9,  23, 124, 119, 104,  73,  64,  70,   3,
         16,  46,  97,  65,  56,  19,  25, 117,  82, 109,  75, 110, 122,  31,  26, 123,
        112,  67,  76, 106, 103,  57, 116,   7,  34,  59,  84,  12,  53,  72,  11,  50,
        120,  86,  77,  15,  51,   6,  87,  92,  32,  78,   8,  30, 127,  58,  63,  48,
         83,  90,  88,  93,  18,  85, 118,  49,  52,  14,  45,  38,  28,  33,  44,  60,
        121, 100,   5,  37,  10,  29,  47,  40,  99,  39, 107, 111, 113,  20, 114,  74,
         94,  81,  22,   4,  80,  24,  62,  89,  54, 115,  17,  79,  96, 108, 101,  95,
    },
    // alphabet 3: encode half, then decode half
    {
          0, 119,  28,  57,  99, 115,   6,  32, 105,  49, 106,  78,   9,  72,  15,  27,
         92,  41,  22,  53, 112,   5,  34,  56, 124, 121,  69,  88,  17,  66,  80, 107,
         67, 101,  26,  10,  12,   8,  55,  74,  42,  51,   1,  63,  76,  62, 113,  47,
         81,  87,   7, 116,  86,  65, 109,  43,  58,  85, 118,  38, 117,  60,  46,  13,
         14,  73,  29, 122,  71,  70,  64, 104,  16,  98,  20,  52,  82,  48,  95,  83,
          2,  35,  54,  45,  30,  68,  18,  97, 102,  50,  39,  21, 111,  93,  11, 114,
          4, 108,  23,  91,  75,  84,  36,  19, 100,  89,  25,  79,   3, 103,  37, 127,
        110, 125, 120,  96,  40,  77, 123,  44,  31, 126,  33,  24,  59,  90,  94,  61,
          0,  42,  80, 108,  96,  21,   6,  50,  37,  12,  35,  94,  36,  63,  64,  14,
         72,  28,  86, 103,  74,  91,  18,  98, 123, 106,  34,  15,   2,  66,  84, 120,
          7, 122,  22,  81, 102, 110,  59,  90, 116,  17,  40,  55, 119,  83,  62,  47,
         77,   9,  89,  41,  75,  19,  82,  38,  23,   3,  56, 124,  61, 127,  45,  43,
         70,  53,  29,  32,  85,  26,  69,  68,  13,  65,  39, 100,  44, 117,  11, 107,
         30,  48,  76,  79, 101,  57,  52,  49,  27, 105, 125,  99,  16,  93, 126,  78,
        115,  87,  73,   4, 104,  33,  88, 109,  71,   8,  10,  31,  97,  54, 112,  92,
         20,  46,  95,   5,  51,  60,  58,   1, 114,  25,  67, 118,  24, 113, 121, 111,
    },
};

namespace {

enum class TDirection { Scramble, Descramble };

void ScrambleText(std::string& text, TDirection direction) {
  constexpr std::size_t kPatternLength = sizeof kPostPattern - 1;
  const std::size_t offset = direction == TDirection::Scramble ? 0 : 128;
  std::size_t p = 0;
  for (char& c : text) {
    p = p == kPatternLength ? 1 : p + 1;  // every byte moves the position, whatever its value
    const auto b = static_cast<uint8_t>(c);
    if (b >= 128) continue;
    const char which = kPostPattern[p - 1];
    const uint8_t* alphabet = kPostAlphabets[which == '1' ? 0 : which == '2' ? 1 : 2];
    c = static_cast<char>(alphabet[offset + b]);
  }
}

}  // namespace

void ScramblePostText(std::string& text) { ScrambleText(text, TDirection::Scramble); }

void DescramblePostText(std::string& text) { ScrambleText(text, TDirection::Descramble); }

std::string PostAnswerText(std::string answer) {
  if (answer.compare(0, 5, "Error") != 0) {
    if (answer.size() >= 3 && answer.compare(0, 3, "\xEF\xBB\xBF") == 0) answer.erase(0, 3);
    if (!answer.empty() && answer.back() == '\0') answer.pop_back();
    DescramblePostText(answer);
  }
  // The script function is handed a C string: so the worker's NUL after an "Error" answer, or
  // a NUL the server sent, ends the text.
  answer.resize(std::min(answer.size(), answer.find('\0')));
  return answer;
}
