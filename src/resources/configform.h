// The configuration form as the module's resources hold it: the pages, every control with its
// name, kind, parent, caption and position (pixels at 96 dpi within its parent), the file
// dialogs and the fixed texts. Plain data, so that any view of the form builds from it.
#pragma once

#include <cstddef>
#include <span>

enum class FormControlKind {
  Page,
  GroupBox,
  Label,
  Edit,
  Memo,
  RadioButton,
  CheckBox,
  SpinEdit,
  Button,
  ValueList,
  Panel,
  Image
};

struct FormControl {
  const char* name;
  FormControlKind kind;
  const char* parent;   // the page, group box or panel it lies in; "" for the form itself
  const char* caption;  // untranslated; "" when the control has none
  int left, top, width, height;
};

struct FormFileDialog {
  const char* name;
  bool save;
  const char* defaultExtension;
  const char* filter;  // "Description|pattern"
  bool promptOverwrite, fileMustExist;
};

constexpr int kConfigFormWidth = 393;  // client area
constexpr int kConfigFormHeight = 355;
constexpr int kConfigFormFontHeight = 11;  // pixels ("MS Sans Serif", 8 point)
constexpr const char* kConfigFormFont = "MS Sans Serif";
constexpr const char* kConfigFormCaption = "Pernix LDAP Address Book Configuration";

constexpr int kTimeOutMinimum = 30;
constexpr int kTimeOutMaximum = 600;
constexpr int kTimeOutDesignValue = 60;

constexpr const char* kVersionLabel = "Version:";
constexpr const char* kVersionNumber = " 1.1.6";
constexpr const char* kWebAddress = "https://pernix.example.org/";
constexpr const char* kSchemaKeyTitle = "Address Book";
constexpr const char* kSchemaValueTitle = "LDAP Name";
constexpr int kSchemaKeyWidth = 150;
constexpr int kSchemaValueWidth = 209;

// The eight rows the value list holds at design time, replaced before the form is shown.
extern const std::span<const char* const> kDesignSchemaRows;
// The mapping the form proposes when the record has none: nine lines joined by LF.
extern const char* const kDefaultSchemaMapping;

// Every control, pages first, each after its parent.
std::span<const FormControl> ConfigFormControls();
// One control by name; null when the form has none of that name.
const FormControl* FindConfigFormControl(const char* name);
std::span<const FormFileDialog> ConfigFormFileDialogs();
const FormFileDialog& FindConfigFormFileDialog(const char* name);
