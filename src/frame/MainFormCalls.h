// The calls the application frame makes on the game object TMainForm, as one interface.
//
// The frame reads and writes the game object's fields directly but makes every call through
// this interface, so tests can put a recording stand-in in place of the game object's start-up,
// frame, pause and input handlers. MakeMainFormCalls gives the real one, which forwards to the
// TMainForm; arguments the game object does not use (Sender, Shift, the mouse calls' last byte)
// stop here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TMainForm;

class TMainFormCalls {
public:
  virtual ~TMainFormCalls() = default;

  // start-up and end
  virtual void FormCreate() = 0;
  virtual void CreateResources_Testing() = 0;
  virtual void SaveGameBeforeGame() = 0;
  virtual void OpenUrlByString(const std::string& url) = 0;
  // frame, pause, display
  virtual void AppIdle(bool& done) = 0;
  virtual void Pause() = 0;
  virtual void RePause() = 0;
  virtual void Call_A_ChangeResolution() = 0;
  virtual void ChangeWindowMode() = 0;
  virtual void WOptions_OK_MouseUp_fromCode() = 0;
  // input; Button 0 left, 1 right, 2 middle; extra is the mouse calls' last byte
  virtual void FormKeyDown(uint16_t key, uint16_t ch) = 0;
  virtual void FormMouseMove(int32_t x, int32_t y) = 0;
  virtual void FormMouseDown(int32_t button, int32_t x, int32_t y, uint8_t extra) = 0;
  virtual void FormMouseUp(int32_t button, int32_t x, int32_t y, uint8_t extra) = 0;
  virtual void FormMouseWheel(int32_t delta, int32_t direction) = 0;
};

std::unique_ptr<TMainFormCalls> MakeMainFormCalls(TMainForm& form);
