// The configuration form's logic without its widgets: what every control holds, the record to
// controls mapping and back, the authentication switch, the checks before OK closes the form
// and the proposal of a cache file name. A view (the Qt dialog, or a native one) copies its
// widgets into `Controls` and back and forwards its events here.
#pragma once

#include <string>
#include <vector>

#include "config/ldapproviderdata.h"
#include "windows.h"

// The contents of the form's controls, by control name. Texts are 8-bit, as the record's.
struct LDAPConfigControls {
  std::string EditDisplayName;
  bool RadioButtonFirstName = false;
  bool RadioButtonLastName = false;
  bool RadioButtonCN = true;
  std::string MemoNotes;  // lines separated by CR LF
  std::string EditServerName;
  bool CheckBoxUseSSL = false;
  bool CheckBoxVersion3 = false;
  std::string EditSearchDN;
  std::string EditSearchString;
  bool CheckBoxDeepSearch = false;
  std::string CSpinEditTimeOut = "60";  // the spin edit's text
  std::string EditCacheFileName;
  std::vector<std::string> VLESchema;  // "name=value" rows
  bool CBAuthenticate = true;          // checked: anonymous bind
  std::string EditDN;
  std::string EditPassword;
  // Enabled state of EditDN, EditPassword, LabelDN and LabelPassword.
  bool AuthenticationEnabled = false;
};

class TFormLDAPConfigModel {
 public:
  TFormLDAPConfigModel();

  // Record to controls, then the authentication switch.
  void LoadControls(const CLDAPProfileData& data);
  // Controls to record; the DN and password are taken also when they are disabled.
  void SaveControls(CLDAPProfileData& data) const;
  // EditDN, EditPassword and their labels are enabled exactly when CBAuthenticate is not checked.
  void UpdateAuthenticationControls();

  void ButtonOkClick() { OkPressed = 1; }
  void ButtonCancelClick() { OkPressed = 0; }

  struct CloseQuery {
    bool canClose = false;
    const char* focusControl = nullptr;  // the control a refusal moves the focus to
  };
  // Whether the form may close. Only after OK: clears the flag, trims four texts in Controls
  // and checks the five required ones in order; the first empty one is reported with an error
  // box (translated, titled `caption`, owned by `owner`) and names the control to focus.
  CloseQuery FormCloseQuery(const std::string& caption, HWND owner);

  // The cache file that Browse proposes: `directory`, a separator and the first of
  // cache00.pxb .. cache39.pxb that does not exist there (cache39.pxb when all do).
  static std::string ProposeCacheFileName(const std::string& directory);

  // Text to lines the way a string list reads it: CR LF, LF or CR end a line; a final line
  // end adds no empty line.
  static std::vector<std::string> SplitLines(const std::string& text);
  // Lines to text, every line followed by CR LF.
  static std::string JoinLines(const std::vector<std::string>& lines);
  // Without leading and trailing blanks and control characters.
  static std::string Trim(const std::string& text);
  // The spin edit's text as a whole number; the minimum when it is none.
  static LONG TimeOutFromText(const std::string& text);

  LDAPConfigControls Controls;
  BYTE OkPressed = 0;
};

// Directory separator of the platform's file names.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif
