// The real game-object calls: each forwards to the TMainForm operation of the same name.
#include "frame/MainFormCalls.h"

#include "game/main.h"

namespace {

class TMainFormDirectCalls final : public TMainFormCalls {
public:
  explicit TMainFormDirectCalls(TMainForm& form) : f(form) {}

  void FormCreate() override { f.FormCreate(); }
  void CreateResources_Testing() override { f.CreateResources_Testing(); }
  void SaveGameBeforeGame() override { f.SaveGameBeforeGame(); }
  void OpenUrlByString(const std::string& url) override { f.OpenUrlByString(url); }
  void AppIdle(bool& done) override { f.AppIdle(done); }
  void Pause() override { f.Pause(); }
  void RePause() override { f.RePause(); }
  void Call_A_ChangeResolution() override { f.Call_A_ChangeResolution(); }
  void ChangeWindowMode() override { f.ChangeWindowMode(); }
  void WOptions_OK_MouseUp_fromCode() override { f.WOptions_OK_MouseUp_fromCode(); }
  void FormKeyDown(uint16_t key, uint16_t ch) override { f.FormKeyDown(key, ch); }
  void FormMouseMove(int32_t x, int32_t y) override { f.FormMouseMove(x, y); }
  void FormMouseDown(int32_t button, int32_t x, int32_t y, uint8_t) override {
    f.FormMouseDown(button, x, y);
  }
  void FormMouseUp(int32_t button, int32_t x, int32_t y, uint8_t) override {
    f.FormMouseUp(button, x, y);
  }
  void FormMouseWheel(int32_t delta, int32_t direction) override {
    f.FormMouseWheel(delta, direction);
  }

private:
  TMainForm& f;
};

}  // namespace

std::unique_ptr<TMainFormCalls> MakeMainFormCalls(TMainForm& form) {
  return std::make_unique<TMainFormDirectCalls>(form);
}
