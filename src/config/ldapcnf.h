// TFormLDAPConfig: the configuration dialog, a Qt Widgets view of TFormLDAPConfigModel built
// from the form's resources. The dialog never touches the profile: Configure loads it from a
// record, shows it modally and, after OK, saves it back into the record.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "config/ldapcnfmodel.h"
#include "config/ldapproviderdata.h"
#include "windows.h"

class QApplication;

// Modal results, as the form reports them.
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

class TFormLDAPConfig : public QDialog {
 public:
  // A form with no owner is a top-level window centred on the screen.
  explicit TFormLDAPConfig(QWidget* owner = nullptr);
  ~TFormLDAPConfig() override;

  void SetCaption(const std::string& caption);
  std::string Caption() const;
  void LoadControls(const CLDAPProfileData& data);
  void SaveControls(CLDAPProfileData& data);
  // Runs the dialog modally; mrOk after a validated OK, mrCancel otherwise.
  int ShowModal();

  // The form's event handlers.
  void FormCreate();
  bool FormCloseQuery();
  void ButtonOkClick();
  void ButtonCancelClick();
  void CBAuthenticateClick();
  void ButtonCacheClick();
  void ButtonLoadSchemaClick();
  void ButtonSaveSchemaClick();
  void Label3Click();
  void Label3DblClick();
  void Image1Click();
  void Image1DblClick();
  void UpdateAuthenticationControls();

  // The window handle that the form's message boxes and shell calls name as their owner.
  HWND Handle();

 protected:
  void done(int result) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void ReadControls();   // widgets into the model
  void WriteControls();  // the model into the widgets
  void OpenWebPage();

  TFormLDAPConfigModel model_;
  bool linkPressed_ = false;
};

// True when this process can show a window: a Qt application runs on the calling thread, or
// the environment names a display (or a display-less Qt platform such as offscreen).
bool DialogDisplayAvailable();

// The QApplication the dialog runs in for as long as this object lives: the host's own when it
// runs one on the calling thread, else one made here when a display can be had. Without
// either, Available() is false and no window may be made.
class DialogApplication {
 public:
  DialogApplication();
  ~DialogApplication();
  DialogApplication(const DialogApplication&) = delete;
  DialogApplication& operator=(const DialogApplication&) = delete;
  bool Available() const { return available_; }

 private:
  std::unique_ptr<QApplication> own_;
  bool available_ = false;
};
