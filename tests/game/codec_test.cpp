// The payload codec: the five script operations called through the script host, and the zlib
// stream routines beneath them. Every test runs with a scratch folder as the current folder and
// checks that nothing was left in it: the codec works in memory.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <lua.hpp>

#include "foundation/CUnit.h"
#include "game/PayloadCodec.h"
#include "game/main.h"
#include "game_test_support.h"
#include "runtime/Random.h"
#include "runtime/Streams.h"

namespace fs = std::filesystem;

namespace {

class CodecTest : public testing::Test {
protected:
  void SetUp() override {
    log = game_test::UseFreshLog();
    folder = game_test::NewFolder("codec");
    previous = fs::current_path();
    fs::current_path(folder);
    rtl::RandSeed = 20240611;
    lua = std::make_unique<TMyLua>(false);
    lua->RegisterFunctions(&form);
  }
  void TearDown() override {
    fs::current_path(previous);
    EXPECT_TRUE(fs::is_empty(folder)) << "the codec left a file in the current folder";
  }

  // Calls the script global Op with text arguments; every result must be a string.
  std::vector<std::string> Call(const char* op, std::initializer_list<std::string> args) {
    lua_State* L = lua->LuaState;
    const int base = lua_gettop(L);
    lua_getglobal(L, op);
    for (const std::string& a : args) lua_pushlstring(L, a.data(), a.size());
    EXPECT_EQ(lua_pcall(L, static_cast<int>(args.size()), LUA_MULTRET, 0), 0) << op;
    std::vector<std::string> results;
    for (int i = base + 1; i <= lua_gettop(L); ++i) {
      std::size_t length = 0;
      const char* text = lua_tolstring(L, i, &length);
      EXPECT_NE(text, nullptr) << op << " result " << i - base << " is not a text";
      results.emplace_back(text != nullptr ? std::string(text, length) : std::string());
    }
    lua_settop(L, base);
    return results;
  }
  std::string Call1(const char* op, std::initializer_list<std::string> args) {
    const std::vector<std::string> results = Call(op, args);
    EXPECT_EQ(results.size(), 1u) << op;
    return results.empty() ? std::string() : results[0];
  }

  // Repeated log lines fold into one, so a case that must log starts a log of its own.
  void FreshLog() { log = game_test::UseFreshLog(); }
  bool LoggedMydezip() const { return game_test::ReadFile(log).find("mydezip") != std::string::npos; }

  fs::path log, folder, previous;
  TMainForm form;
  std::unique_ptr<TMyLua> lua;
};

std::string Zipped(const std::string& bytes) {
  rtl::TMemoryStream stream;
  stream.WriteString(bytes);
  ZipStream(stream);
  return stream.ToString();
}

std::string Text64(std::string bytes) {
  EncodeText64(bytes);
  return bytes;
}

bool InTextAlphabet(const std::string& text) {
  for (unsigned char c : text) {
    if (c < '?' || c > '~') return false;
  }
  return true;
}

std::string AllNonNulBytes() {
  std::string s;
  for (int b = 1; b <= 255; ++b) s += static_cast<char>(b);
  return s;
}

// Bytes 1..255 in an order that compresses poorly.
std::string LongText(std::size_t size) {
  std::string s(size, ' ');
  uint32_t x = 7;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(1 + (x >> 16) % 255);
  }
  return s;
}

TEST_F(CodecTest, EveryTextComesBackThroughEachPairOfOperations) {
  const std::string texts[] = {"", "a", "abc", "line one\r\nline two", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
                               AllNonNulBytes(), LongText(200'000), std::string(100'000, 'x')};
  const std::pair<std::string, std::string> keys[] = {
      {"k1", "k2"}, {"", ""}, {"a first key much longer than eight bytes", "x"}, {"\xff\x80", "\x07"}};
  for (const std::string& t : texts) {
    const std::string label = t.substr(0, 16) + " (" + std::to_string(t.size()) + " bytes)";
    for (const auto& [k1, k2] : keys) {
      const std::string sealed = Call1("CryptStr", {t, k1, k2});
      EXPECT_FALSE(sealed.empty()) << label;
      EXPECT_TRUE(InTextAlphabet(sealed)) << label;
      EXPECT_EQ(Call1("DecryptStr", {sealed, k1, k2}), t) << label << " keys " << k1 << ", " << k2;
    }
    const std::string posted = Call1("CryptPOST", {t});
    EXPECT_TRUE(InTextAlphabet(posted)) << label;
    EXPECT_EQ(Call1("DecryptPOST", {posted}), t) << label;
    EXPECT_EQ(Call1("DepostNZip", {Text64(Zipped(t))}), t) << label;
  }
  EXPECT_FALSE(LoggedMydezip());
}

TEST_F(CodecTest, TwoSealsOfOneTextDifferAndBothOpen) {
  const std::string first = Call1("CryptStr", {"same text", "k1", "k2"});
  const std::string second = Call1("CryptStr", {"same text", "k1", "k2"});
  EXPECT_NE(first, second);
  EXPECT_EQ(Call1("DecryptStr", {first, "k1", "k2"}), "same text");
  EXPECT_EQ(Call1("DecryptStr", {second, "k1", "k2"}), "same text");
}

TEST_F(CodecTest, WrongKeysAndDamagedTextsGiveEmptyAndLogMydezip) {
  const std::string sealed = Call1("CryptStr", {"the secret payload, long enough to span blocks", "k1", "k2"});
  std::string damaged = sealed;
  damaged[0] = damaged[0] == 'A' ? 'B' : 'A';
  std::string damagedMiddle = sealed;
  damagedMiddle[sealed.size() / 2] = damagedMiddle[sealed.size() / 2] == 'A' ? 'B' : 'A';
  struct Case {
    std::string text, key, key2;
  };
  const Case cases[] = {
      {sealed, "k1", "k3"},  {sealed, "k0", "k2"},        {sealed, "k2", "k1"},
      {sealed, "", ""},      {damaged, "k1", "k2"},       {damagedMiddle, "k1", "k2"},
      {sealed.substr(0, sealed.size() - 11), "k1", "k2"}, {"", "k1", "k2"},
      {"not a payload at all", "k1", "k2"},
  };
  for (const Case& c : cases) {
    FreshLog();
    EXPECT_EQ(Call1("DecryptStr", {c.text, c.key, c.key2}), "") << c.text << " " << c.key << " " << c.key2;
    EXPECT_TRUE(LoggedMydezip()) << c.text << " " << c.key << " " << c.key2;
  }
}

TEST_F(CodecTest, DepostNZipOfWhatIsNotZlibGivesEmptyAndLogsMydezip) {
  const std::string zipped = Zipped("some text that was compressed");
  std::string badChecksum = zipped;
  badChecksum.back() = static_cast<char>(badChecksum.back() ^ 1);
  const std::string cases[] = {
      "",
      "hello world",
      Text64("plain text, never compressed"),
      Text64(zipped.substr(0, zipped.size() - 1)),
      Text64(badChecksum),
  };
  for (const std::string& c : cases) {
    FreshLog();
    EXPECT_EQ(Call1("DepostNZip", {c}), "") << c;
    EXPECT_TRUE(LoggedMydezip()) << c;
  }
}

TEST_F(CodecTest, ArgumentsEndAtTheirFirstNulAndResultsAreCutThere) {
  const std::string withNul("ab\0cd", 5);
  // Arguments: the text and both keys count up to the NUL.
  EXPECT_EQ(Call1("DecryptStr", {Call1("CryptStr", {withNul, "k", "q"}), "k", "q"}), "ab");
  EXPECT_EQ(Call1("DecryptStr", {Call1("CryptStr", {"text", std::string("k\0junk", 6), "q"}), "k", "q"}), "text");
  EXPECT_EQ(Call1("DecryptStr", {Call1("CryptStr", {"text", "k", "q"}), "k", std::string("q\0junk", 6)}), "text");
  EXPECT_EQ(Call1("CryptPOST", {withNul}), Call1("CryptPOST", {"ab"}));
  EXPECT_EQ(Call1("DecryptPOST", {Text64("ab") + std::string("\0junk", 5)}), "ab");
  // Results: payloads that hold a NUL come back cut before it.
  EXPECT_EQ(Call1("DecryptPOST", {Text64(withNul)}), "ab");
  EXPECT_EQ(Call1("DepostNZip", {Text64(Zipped(withNul))}), "ab");
  EXPECT_EQ(Call1("DecryptStr", {CryptPayload(withNul, "k", "q"), "k", "q"}), "ab");
  EXPECT_FALSE(LoggedMydezip());
}

TEST_F(CodecTest, EachOperationDropsItsArgumentsAndReturnsOneTextWhateverItGets) {
  const char* script = R"(
    for _, name in ipairs{'CryptStr', 'DecryptStr', 'CryptPOST', 'DecryptPOST', 'DepostNZip'} do
      local op = _G[name]
      for _, args in ipairs{{}, {nil, {}, true}, {12, 3.5, -1}, {'a', 'b', 'c', 'd', 'e'}} do
        local results = {n = select('#', op(unpack(args, 1, 5))), op(unpack(args, 1, 5))}
        assert(results.n == 1 and type(results[1]) == 'string', name)
      end
    end
    -- A number argument reads as its text.
    assert(CryptPOST(12) == CryptPOST('12'))
    assert(DecryptStr(CryptStr('x', 12, 3.5), '12', '3.5') == 'x')
  )";
  EXPECT_EQ(lua->DoString(script), 0) << lua_tostring(lua->LuaState, -1);
}

TEST(CodecStreamTest, ZipStreamWritesTheZlibFormatAtLevelNine) {
  game_test::UseFreshLog();
  const std::string text = LongText(5000) + std::string(5000, 'a');
  rtl::TMemoryStream stream;
  stream.WriteString(text);
  ZipStream(stream);
  const std::string packed = stream.ToString();
  EXPECT_EQ(stream.Position(), 0u);
  ASSERT_GE(packed.size(), 6u);
  EXPECT_EQ(static_cast<uint8_t>(packed[0]), 0x78);  // deflate, 32 KiB window
  EXPECT_EQ(static_cast<uint8_t>(packed[1]), 0xDA);  // best compression
  std::string plain(text.size(), '\0');
  uLongf plainSize = plain.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(plain.data()), &plainSize,
                       reinterpret_cast<const Bytef*>(packed.data()), packed.size()),
            Z_OK);
  EXPECT_EQ(plain, text);

  ASSERT_TRUE(UnzipStream(stream));
  EXPECT_EQ(stream.Position(), 0u);
  EXPECT_EQ(stream.ToString(), text);
}

TEST(CodecStreamTest, UnzipStreamFailsPastItsOutputCap) {
  const auto log = game_test::UseFreshLog();
  struct Case {
    std::size_t plainSize, cap;
    bool ok;
  };
  const Case cases[] = {{5000, 5000, true}, {5000, 4999, false}, {0, 0, true}, {1, 0, false},
                        {300'000, 300'000, true}, {300'000, 299'999, false}};
  for (const Case& c : cases) {
    const std::string plain = LongText(c.plainSize);
    rtl::TMemoryStream stream;
    stream.WriteString(Zipped(plain));
    EXPECT_EQ(UnzipStream(stream, c.cap), c.ok) << c.plainSize << " cap " << c.cap;
    EXPECT_EQ(stream.ToString(), c.ok ? plain : "") << c.plainSize << " cap " << c.cap;
  }
  EXPECT_NE(game_test::ReadFile(log).find("mydezip"), std::string::npos);
}

// A mebibyte of zeros more than the cap, in some 70 kilobytes, made without holding the zeros.
std::string ZipBomb() {
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, Z_BEST_COMPRESSION), Z_OK);
  static const std::vector<uint8_t> zeros(1 << 20);
  std::string packed;
  std::vector<uint8_t> chunk(1 << 16);
  const std::size_t rounds = UnzipOutputCap / zeros.size() + 1;
  for (std::size_t i = 0; i <= rounds; ++i) {
    z.next_in = const_cast<uint8_t*>(zeros.data());
    z.avail_in = i < rounds ? static_cast<uInt>(zeros.size()) : 0;
    const int flush = i < rounds ? Z_NO_FLUSH : Z_FINISH;
    do {
      z.next_out = chunk.data();
      z.avail_out = static_cast<uInt>(chunk.size());
      deflate(&z, flush);
      packed.append(reinterpret_cast<const char*>(chunk.data()), chunk.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return packed;
}

TEST_F(CodecTest, AZipBombIsRefusedAtTheCap) {
  const std::string bomb = ZipBomb();
  ASSERT_LT(bomb.size(), 100'000u);

  rtl::TMemoryStream stream;
  stream.WriteString(bomb);
  // Only the cap stops it: with room for the whole output it opens.
  EXPECT_TRUE(UnzipStream(stream, UnzipOutputCap + (1 << 20)));
  EXPECT_EQ(stream.Size(), UnzipOutputCap + (1 << 20));
  EXPECT_FALSE(LoggedMydezip());

  stream.Clear();
  stream.WriteString(bomb);
  EXPECT_FALSE(UnzipStream(stream));
  EXPECT_EQ(stream.Size(), 0u);
  EXPECT_TRUE(LoggedMydezip());
  FreshLog();
  EXPECT_EQ(Call1("DepostNZip", {Text64(bomb)}), "");
  EXPECT_TRUE(LoggedMydezip());
}

}  // namespace
