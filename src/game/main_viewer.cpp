// Viewer parameters of the game object: the settings of a viewer mode, from "KeshViewer.config"
// in the current folder and from the command line. Of what they set only DataFolder is read
// elsewhere; the other viewer fields are kept and read by nothing. The operations take no
// arguments and return no results; a configuration that cannot be read or holds a bad
// coordinate is reported in the log, never to the script.
#include "game/main.h"

#include <string>
#include <vector>

#include "foundation/KeshLogEngine.h"
#include "foundation/KeshParser.h"
#include "platform/win32/win32_system.h"
#include "runtime/Files.h"
#include "runtime/Strings.h"

namespace {

const char* const kConfigFile = "KeshViewer.config";

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// An attribute "true" or "false" (trimmed, any letter case) sets Flag; anything else leaves it.
void ReadFlag(const TKeshXMLTag& tag, const char* name, bool& flag) {
  const TKeshParserAttribute* attribute = tag.FindAttribute(name);
  if (attribute == nullptr) return;
  const std::string value = rtl::LowerCase(rtl::Trim(attribute->Value));
  if (value == "true") flag = true;
  if (value == "false") flag = false;
}

// 0 when absent, and with a warning when it is no integer.
int32_t ReadCoordinate(const TKeshXMLTag& effect, const char* name) {
  const TKeshParserAttribute* attribute = effect.FindAttribute(name);
  if (attribute == nullptr) return 0;
  const std::string value = rtl::Trim(attribute->Value);
  try {
    return rtl::StrToInt(value);
  } catch (const rtl::EConvertError&) {
    LogEngine->AddWarning("TMainForm.ParseParametersFromConfig Effect \"" + effect.Text + "\": " + name + "=\"" +
                          value + "\" is not an integer, 0 is used");
    return 0;
  }
}

}  // namespace

int TMainForm::ParseParameters(lua_State*) {
  if (rtl::FileExists(kConfigFile)) ReadViewerConfig(kConfigFile);
  ReadViewerSwitches(platform::win32::CommandLineParams());
  return 0;
}

int TMainForm::ParseParametersFromConfig(lua_State*) {
  ReadViewerConfig(kConfigFile);
  return 0;
}

int TMainForm::ParseParametersFromParamStr(lua_State*) {
  ReadViewerSwitches(platform::win32::CommandLineParams());
  return 0;
}

void TMainForm::ReadViewerConfig(const std::string& fileName) {
  TKeshParser parser;
  try {
    parser.LoadFromFile(fileName);
  } catch (const rtl::EInOutError& e) {
    LogEngine->AddError("TMainForm.ParseParametersFromConfig " + fileName + ": " + e.what());
    return;
  }
  const TKeshXMLTag* root = parser.FindTag("KeshViewerConfigFile");
  if (root == nullptr) return;

  if (const TKeshXMLTag* mode = root->FindTag("Mode")) {
    const std::string name = rtl::LowerCase(rtl::Trim(mode->Text));
    if (name == "effectviewer") ViewerMode = 10;
    if (name == "interfaceviewer") ViewerMode = 20;
    if (name == "testing") ViewerMode = 0;
  }
  if (const TKeshXMLTag* background = root->FindTag("Background")) {
    ViewerBackgroundSet = true;
    ReadFlag(*background, "Redraw", ViewerRedraw);
    ViewerBackground = rtl::Trim(background->Text);
  }
  if (const TKeshXMLTag* path = root->FindTag("Path")) {
    ReadFlag(*path, "FromFileFolder", ViewerFromFileFolder);
    DataFolder = WithBackslash(rtl::Trim(path->Text));
  }
  if (const TKeshXMLTag* effects = root->FindTag("Effects")) {
    for (const auto& effect : effects->Tags) {
      if (effect->Name != "Effect") continue;
      TEffectDesc desc;
      desc.Name = rtl::Trim(effect->Text);
      desc.X = ReadCoordinate(*effect, "X");
      desc.Y = ReadCoordinate(*effect, "Y");
      ViewerEffects.push_back(std::move(desc));
    }
  }
}

void TMainForm::ReadViewerSwitches(const std::vector<std::string>& params) {
  std::size_t next = 0;  // the first parameter that names an effect
  const std::string first = params.empty() ? std::string() : params[0];
  if (first.size() > 1 && first[0] == '-') {
    if (first[1] == 't') ViewerMode = 0;
    if (first[1] == 'i') ViewerMode = 20;
    if (first[1] == 'e') {
      next = 1;
      // Every further letter takes the next parameter, even one that means nothing here.
      for (std::size_t k = 2; k < first.size() && next < params.size(); ++k) {
        const std::string& value = params[next++];
        switch (first[k]) {
          case 'B':
          case 'b':
            ViewerBackgroundSet = true;
            ViewerRedraw = first[k] == 'b';
            ViewerBackground = value;
            break;
          case 'P':
            ViewerFromFileFolder = true;
            DataFolder = value;
            break;
          case 'p':
            ViewerFromFileFolder = false;
            DataFolder = WithBackslash(value);
            break;
          default:
            break;
        }
      }
      ViewerMode = 10;
    }
  }
  for (; next < params.size(); ++next) ViewerEffects.push_back({params[next], 0, 0});
}
