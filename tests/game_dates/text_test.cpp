// CodesToUTF8 and UTF8ToCodes (code units one by one, four-byte sequences, malformed text, the
// table walked in index order), GetMD5 over the RFC 1321 texts, and GetDeviceID.
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "foundation/md5.h"
#include "game/CodeUnitText.h"
#include "game/DeviceIdentity.h"
#include "platform/win32/win32_identity.h"
#include "runtime/Strings.h"
#include "script_fixture.h"

namespace game_dates_test {
namespace {

namespace w32 = platform::win32;

class TextTest : public ScriptTest {
protected:
  void SetUp() override {
    ScriptTest::SetUp();
    // The table as "unit,unit,...", and "!" when it holds keys other than 1..n.
    ASSERT_EQ(Run("function units(t)\n"
                  "  local n, r = 0, {}\n"
                  "  for _ in pairs(t) do n = n + 1 end\n"
                  "  for i = 1, n do if t[i] == nil then return '!' end r[i] = t[i] end\n"
                  "  return table.concat(r, ',')\n"
                  "end\n"
                  "function bytes(s) return table.concat({s:byte(1, -1)}, ' ') end"),
              "");
  }
};

TEST_F(TextTest, UTF8ToCodesGivesUnitsOrAnEmptyTableForMalformedText) {
  struct Case {
    const char* text;  // a Lua string literal
    const char* units;
  };
  const Case cases[] = {
      {"'\\195\\169'", "233"},
      {"'a\\195\\169\\226\\130\\172'", "97,233,8364"},
      {"'\\240\\159\\152\\128'", "55357,56832"},                  // U+1F600 as its surrogate pair
      {"'\\237\\160\\189\\237\\184\\128'", "55357,56832"},        // the halves as CodesToUTF8 writes them
      {"'\\244\\143\\191\\191'", "56319,57343"},                  // U+10FFFF
      {"'\\193\\129'", "65"},                                     // an overlong form, read by its bits
      {"'A\\0B'", "65,0,66"},                                     // the whole string, its NUL too
      {"''", ""},
      {"'\\169'", ""},                                            // a stray continuation byte
      {"'ab\\195'", ""},                                          // ends inside a sequence
      {"'ab\\240\\159\\152'", ""},
      {"'\\195A'", ""},                                           // a continuation byte missing
      {"'\\226\\130A'", ""},
      {"'\\244\\144\\128\\128'", ""},                             // beyond U+10FFFF
      {"'\\248\\136\\128\\128\\128'", ""},
      {"'ok\\255'", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Eval(std::string("units(UTF8ToCodes(") + c.text + "))"), c.units) << c.text;
  }
  EXPECT_EQ(Eval("select('#', UTF8ToCodes('a', 'b'))"), "1");
  EXPECT_EQ(Eval("type(UTF8ToCodes(12))"), "table");
}

TEST_F(TextTest, CodesToUTF8EncodesEachUnitAloneAndWalksOnlyTheSequence) {
  struct Case {
    const char* table;  // a Lua expression
    const char* bytes;
  };
  const Case cases[] = {
      {"{233}", "195 169"},
      {"{65, 8364}", "65 226 130 172"},
      {"{55357, 56832}", "237 160 189 237 184 128"},  // a pair is not combined
      {"{65 + 65536, -1}", "65 239 191 191"},          // the low 16 bits
      {"{2^31 + 65, 2^53 + 66, -2^33 + 67, 2^32 + 67.5}", "65 66 67 68"},  // beyond 32 bits too
      {"{'66', 67.4}", "66 67"},
      {"{65, 0, 66}", "65"},                           // a unit 0 ends the text
      {"{65, nil, 67}", "65"},                         // so does the first hole
      {"{65, 66, x = 67, [0] = 68, [2.5] = 69}", "65 66"},
      {"{}", ""},
      {"'AB'", ""},                                    // not a table: an empty one
      {"66", ""},
      {"nil", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Eval(std::string("bytes(CodesToUTF8(") + c.table + "))"), c.bytes) << c.table;
  }
  // Keys written out in a constructor live in the table's hash part, where the table's own
  // traversal does not give the index order.
  ASSERT_EQ(Run("t = {[2] = 66, [10] = 74, [3] = 67, [9] = 73, [4] = 68, [8] = 72, [5] = 69, [7] = 71,"
                "     [6] = 70, [1] = 65}\n"
                "local keys = {} for k in pairs(t) do keys[#keys + 1] = k end\n"
                "traversal = table.concat(keys, ',')"),
            "");
  EXPECT_NE(Eval("traversal"), "1,2,3,4,5,6,7,8,9,10");
  EXPECT_EQ(Eval("CodesToUTF8(t)"), "ABCDEFGHIJ");
  EXPECT_EQ(Eval("select('#', CodesToUTF8({65}, 'x'))"), "1");
  EXPECT_EQ(Eval("CodesToUTF8(UTF8ToCodes('\\195\\169'))"), "\xC3\xA9");
}

TEST(CodeUnitTextTest, EveryUnitAndEveryPairOfSurrogateHalvesRoundTrips) {
  for (char32_t u = 1; u <= 0xFFFF; ++u) {
    const std::u16string one(1, static_cast<char16_t>(u));
    ASSERT_EQ(Utf8ToCodeUnits(CodeUnitsToUtf8(one)), one) << static_cast<uint32_t>(u);
  }
  // Reversed, lone and paired halves stay as they were.
  const std::u16string halves = {0xDE00, 0xD83D, u'x', 0xD83D, 0xDE00, 0xDBFF};
  EXPECT_EQ(Utf8ToCodeUnits(CodeUnitsToUtf8(halves)), halves);
}

TEST_F(TextTest, GetMD5DigestsTheReferenceTexts) {
  struct Case {
    const char* text;
    const char* digest;
  };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Eval(std::string("GetMD5('") + c.text + "')"), c.digest) << c.text;
  }
  EXPECT_EQ(Eval("GetMD5(12)"), Eval("GetMD5('12')"));
  // A zero byte is hashed like any other: the length comes from the script.
  EXPECT_EQ(Eval("GetMD5('a\\0b')"), "70350f6027bce3713f6b76473084309b");
  EXPECT_EQ(Eval("GetMD5('\\0')"), "93b885adfe0da089cdf634904fd59f71");
  EXPECT_EQ(Eval("GetMD5()"), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Eval("select('#', GetMD5('a', 'b'))"), "1");
}

TEST(DeviceIdTextTest, DigestsTheSerialAsEightUpperCaseDigitsAndTheName) {
  EXPECT_EQ(DeviceIdText(0, "HOST"), MD5ToHex(MD5DigestOfText("00000000HOST")));
  EXPECT_EQ(DeviceIdText(0xABCDEF, "PC-1"), MD5ToHex(MD5DigestOfText("00ABCDEFPC-1")));
  EXPECT_EQ(DeviceIdText(0xFFFFFFFF, ""), MD5ToHex(MD5DigestOfText("FFFFFFFF")));
}

// GetDeviceID of a fresh game object and script host.
std::string DeviceIdFromScript() {
  TMainForm form;
  TMyLua lua(false);
  lua.RegisterFunctions(&form);
  if (lua.DoString("id = GetDeviceID()") != 0) return "error";
  lua_getglobal(lua.LuaState, "id");
  const char* id = lua_tostring(lua.LuaState, -1);
  return id != nullptr ? id : "nil";
}

TEST_F(TextTest, GetDeviceIDIsTheDigestOfTheSystemVolumeSerialAndComputerName) {
  w32::DWORD serial = 0;
  ASSERT_TRUE(w32::GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  char name[16] = {};
  w32::DWORD size = sizeof name;
  ASSERT_TRUE(w32::GetComputerNameA(name, &size));
  const std::string expected = MD5ToHex(MD5DigestOfText(rtl::Format("%8.8X", serial) + name));
  EXPECT_EQ(Eval("GetDeviceID('ignored')"), expected);
  EXPECT_EQ(Eval("GetDeviceID()"), expected);

  // Another process, as another run of the program is, gets the same identifier.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeEnds[0]);
    const std::string id = DeviceIdFromScript();
    const ssize_t written = write(pipeEnds[1], id.data(), id.size());
    _exit(written == static_cast<ssize_t>(id.size()) ? 0 : 1);
  }
  close(pipeEnds[1]);
  std::string fromChild;
  char buffer[64];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) fromChild.append(buffer, static_cast<size_t>(n));
  close(pipeEnds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(fromChild, expected);
}

}  // namespace
}  // namespace game_dates_test
