// The viewer parameters: "KeshViewer.config" in the current folder, the command-line switches,
// and ParseParameters putting both together, through the script globals.
#include <string>
#include <vector>

#include "platform/win32/win32_system.h"
#include "runtime/Strings.h"
#include "script_fixture.h"

namespace game_dates_test {
namespace {

namespace w32 = platform::win32;

class ViewerTest : public ScriptTest {
protected:
  void SetUp() override {
    ScriptTest::SetUp();
    program_ = w32::ExecutablePath();
    Reset();
  }
  void TearDown() override {
    SetParams({});
    ScriptTest::TearDown();
  }
  // The fields as a start-up leaves them, with a mode no keyword names, to show it unchanged.
  void Reset() {
    form_.ViewerMode = 5;
    form_.DataFolder = "data\\";
    form_.ViewerBackground.clear();
    form_.ViewerBackgroundSet = form_.ViewerRedraw = form_.ViewerFromFileFolder = false;
    form_.ViewerEffects.clear();
  }
  // The command line after the program name.
  void SetParams(const std::vector<std::string>& params) {
    std::vector<std::string> texts = {program_};
    texts.insert(texts.end(), params.begin(), params.end());
    std::vector<char*> argv;
    for (std::string& t : texts) argv.push_back(t.data());
    w32::SetCommandLine(static_cast<int>(argv.size()), argv.data());
  }
  std::string Fields() const {
    std::string effects;
    for (const TEffectDesc& e : form_.ViewerEffects) effects += rtl::Format("%s@%d,%d;", e.Name.c_str(), e.X, e.Y);
    return rtl::Format("mode=%d data=%s bg=%s set=%d redraw=%d fromfile=%d effects=%s", form_.ViewerMode,
                       form_.DataFolder.c_str(), form_.ViewerBackground.c_str(), form_.ViewerBackgroundSet,
                       form_.ViewerRedraw, form_.ViewerFromFileFolder, effects.c_str());
  }

  std::string program_;
};

const char* const kUnchanged = "mode=5 data=data\\ bg= set=0 redraw=0 fromfile=0 effects=";

TEST_F(ViewerTest, TheConfigurationFileSetsTheViewerFields) {
  struct Case {
    const char* label;
    const char* file;
    const char* fields;
  };
  const Case cases[] = {
      {"every element; texts, attribute values and keywords trimmed and in any case",
       "<?xml version=\"1.0\"?>\r\n"
       "<KeshViewerConfigFile>\r\n"
       "  <Mode> EffectViewer </Mode>\r\n"
       "  <Background Redraw=\" TRUE \">  back.png  </Background>\r\n"
       "  <Path FromFileFolder=\"true\">games\\demo</Path>\r\n"
       "  <Effects>\r\n"
       "    <Effect X=\"10\" Y=\"-5\">spark</Effect>\r\n"
       "    <effect X=\"1\">only Effect counts</effect>\r\n"
       "    <Effect> smoke </Effect>\r\n"
       "    <Effect X=\" 7 \" Y=\"$10\">rain</Effect>\r\n"
       "  </Effects>\r\n"
       "</KeshViewerConfigFile>\r\n",
       "mode=10 data=games\\demo\\ bg=back.png set=1 redraw=1 fromfile=1 effects=spark@10,-5;smoke@0,0;rain@7,16;"},
      {"a folder that ends in a backslash keeps it; other flag values leave the flags",
       "<KeshViewerConfigFile><Mode>interfaceviewer</Mode><Background Redraw=\"yes\"/>"
       "<Path FromFileFolder=\"no\">x\\</Path></KeshViewerConfigFile>",
       "mode=20 data=x\\ bg= set=1 redraw=0 fromfile=0 effects="},
      {"testing", "<KeshViewerConfigFile><Mode>Testing</Mode><Path FromFileFolder=\"False\">p</Path>"
                  "</KeshViewerConfigFile>",
       "mode=0 data=p\\ bg= set=0 redraw=0 fromfile=0 effects="},
      {"an unknown mode leaves the mode", "<KeshViewerConfigFile><Mode>viewer</Mode></KeshViewerConfigFile>",
       kUnchanged},
      {"another root element", "<Config><Mode>testing</Mode><Path>p</Path></Config>", kUnchanged},
      {"an empty file", "", kUnchanged},
      {"an unterminated comment", "<KeshViewerConfigFile><!-- <Mode>testing</Mode>", kUnchanged},
      {"coordinates that are no integers are 0",
       "<KeshViewerConfigFile><Effects><Effect X=\"ten\" Y=\"2.5\">a</Effect></Effects></KeshViewerConfigFile>",
       "mode=5 data=data\\ bg= set=0 redraw=0 fromfile=0 effects=a@0,0;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Reset();
    test_support::WriteFile(folder_ / "KeshViewer.config", c.file);
    EXPECT_EQ(Run("ParseParametersFromConfig()"), "");
    EXPECT_EQ(Fields(), c.fields);
  }
  LogEngine->AddMessage("");
  const std::string log = LogText();
  EXPECT_NE(log.find("Effect \"a\": X=\"ten\" is not an integer, 0 is used"), std::string::npos) << log;
  EXPECT_NE(log.find("Effect \"a\": Y=\"2.5\" is not an integer, 0 is used"), std::string::npos) << log;
}

TEST_F(ViewerTest, AMissingConfigurationIsLoggedByTheOperationAndSkippedByParseParameters) {
  EXPECT_EQ(Run("ParseParametersFromConfig()"), "");
  EXPECT_EQ(Fields(), kUnchanged);
  LogEngine->AddMessage("");
  EXPECT_NE(LogText().find("TMainForm.ParseParametersFromConfig KeshViewer.config"), std::string::npos);

  SetParams({"spark"});
  const std::size_t logSize = LogText().size();
  EXPECT_EQ(Run("ParseParameters()"), "");
  EXPECT_EQ(Fields(), "mode=5 data=data\\ bg= set=0 redraw=0 fromfile=0 effects=spark@0,0;");
  LogEngine->AddMessage("");
  EXPECT_EQ(LogText().find("ParseParametersFromConfig", logSize), std::string::npos);
}

TEST_F(ViewerTest, TheSwitchesSetTheModeAndTheRestNameEffects) {
  struct Case {
    std::vector<std::string> params;
    const char* fields;
  };
  const Case cases[] = {
      {{}, kUnchanged},
      {{"-t", "a"}, "mode=0 data=data\\ bg= set=0 redraw=0 fromfile=0 effects=-t@0,0;a@0,0;"},
      {{"-i"}, "mode=20 data=data\\ bg= set=0 redraw=0 fromfile=0 effects=-i@0,0;"},
      {{"-e"}, "mode=10 data=data\\ bg= set=0 redraw=0 fromfile=0 effects="},
      {{"-eBp", "back.png", "games\\x", "fx1", "fx2"},
       "mode=10 data=games\\x\\ bg=back.png set=1 redraw=0 fromfile=0 effects=fx1@0,0;fx2@0,0;"},
      {{"-ebP", "b.png", "games\\y"}, "mode=10 data=games\\y bg=b.png set=1 redraw=1 fromfile=1 effects="},
      // Every further letter takes a parameter; one that means nothing takes it too.
      {{"-exB", "taken", "bg"}, "mode=10 data=data\\ bg=bg set=1 redraw=0 fromfile=0 effects="},
      {{"-eBbP", "one"}, "mode=10 data=data\\ bg=one set=1 redraw=0 fromfile=0 effects="},
      {{"-", "a"}, "mode=5 data=data\\ bg= set=0 redraw=0 fromfile=0 effects=-@0,0;a@0,0;"},
      {{"-E", "a"}, "mode=5 data=data\\ bg= set=0 redraw=0 fromfile=0 effects=-E@0,0;a@0,0;"},
      {{"spark", "smoke"}, "mode=5 data=data\\ bg= set=0 redraw=0 fromfile=0 effects=spark@0,0;smoke@0,0;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rtl::IntToStr(&c - cases));
    Reset();
    SetParams(c.params);
    EXPECT_EQ(Run("ParseParametersFromParamStr('ignored')"), "");
    EXPECT_EQ(Fields(), c.fields);
  }
}

TEST_F(ViewerTest, ParseParametersReadsTheFileThenTheSwitchesIntoOneList) {
  test_support::WriteFile(folder_ / "KeshViewer.config",
                          "<KeshViewerConfigFile><Mode>interfaceviewer</Mode><Path>cfg</Path>"
                          "<Effects><Effect X=\"1\" Y=\"2\">fromfile</Effect></Effects></KeshViewerConfigFile>");
  SetParams({"-ep", "cmd", "fromline"});
  EXPECT_EQ(Eval("select('#', ParseParameters())"), "0");
  EXPECT_EQ(Fields(), "mode=10 data=cmd\\ bg= set=0 redraw=0 fromfile=0 effects=fromfile@1,2;fromline@0,0;");
}

}  // namespace
}  // namespace game_dates_test
