#include "config/ldapcnfmodel.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "gnugettext.h"
#include "resources/configform.h"

TFormLDAPConfigModel::TFormLDAPConfigModel() {
  for (const char* row : kDesignSchemaRows) Controls.VLESchema.emplace_back(row);
  UpdateAuthenticationControls();
}

void TFormLDAPConfigModel::LoadControls(const CLDAPProfileData& data) {
  LDAPConfigControls& c = Controls;
  c.EditDisplayName = data.DisplayName;
  c.RadioButtonFirstName = data.ShowNamesBy == 0;
  c.RadioButtonLastName = data.ShowNamesBy == 1;
  c.RadioButtonCN = data.ShowNamesBy != 0 && data.ShowNamesBy != 1;
  c.MemoNotes = data.Comment;
  c.EditServerName = data.ServerName;
  c.CheckBoxUseSSL = data.UseSSL;
  c.EditSearchDN = data.SearchDN;
  c.CSpinEditTimeOut = std::to_string(std::clamp<LONG>(data.TimeOut, kTimeOutMinimum, kTimeOutMaximum));
  c.VLESchema = SplitLines(data.SchemaMapping);
  if (c.VLESchema.empty()) c.VLESchema = SplitLines(kDefaultSchemaMapping);
  c.CheckBoxVersion3 = data.UseVersion3;
  c.EditCacheFileName = data.CacheFileName;
  c.CheckBoxDeepSearch = data.DeepSearch;
  c.EditSearchString = data.SearchString;
  c.CBAuthenticate = !data.Authenticate;
  c.EditDN = data.BindDN;
  c.EditPassword = data.Password;
  UpdateAuthenticationControls();
}

void TFormLDAPConfigModel::SaveControls(CLDAPProfileData& data) const {
  const LDAPConfigControls& c = Controls;
  data.DisplayName = Trim(c.EditDisplayName);
  data.ShowNamesBy = c.RadioButtonFirstName ? 0 : c.RadioButtonLastName ? 1 : 2;
  data.Comment = c.MemoNotes;
  data.ServerName = c.EditServerName;
  data.SearchDN = c.EditSearchDN;
  data.UseSSL = c.CheckBoxUseSSL;
  data.TimeOut = TimeOutFromText(c.CSpinEditTimeOut);
  data.SchemaMapping = JoinLines(c.VLESchema);
  data.UseVersion3 = c.CheckBoxVersion3;
  data.CacheFileName = c.EditCacheFileName;
  data.DeepSearch = c.CheckBoxDeepSearch;
  data.SearchString = c.EditSearchString;
  data.Authenticate = !c.CBAuthenticate;
  data.BindDN = c.EditDN;
  data.Password = c.EditPassword;
}

void TFormLDAPConfigModel::UpdateAuthenticationControls() { Controls.AuthenticationEnabled = !Controls.CBAuthenticate; }

TFormLDAPConfigModel::CloseQuery TFormLDAPConfigModel::FormCloseQuery(const std::string& caption, HWND owner) {
  CloseQuery result;
  if (OkPressed != 1) {
    result.canClose = true;  // Cancel, Escape or the window's close button
    return result;
  }
  try {
    OkPressed = 0;
    LDAPConfigControls& c = Controls;
    c.EditDisplayName = Trim(c.EditDisplayName);
    c.MemoNotes = Trim(c.MemoNotes);
    c.EditServerName = Trim(c.EditServerName);
    c.EditSearchDN = Trim(c.EditSearchDN);
    // The search string and the cache file name are checked untrimmed: blanks pass.
    const struct {
      const std::string& text;
      const char* control;
      const char* message;
    } required[] = {
        {c.EditDisplayName, "EditDisplayName", "The display name field cannot be empty."},
        {c.EditServerName, "EditServerName", "The server name field cannot be empty."},
        {c.EditSearchDN, "EditSearchDN", "The search base field cannot be empty."},
        {c.EditSearchString, "EditSearchString", "The search string field cannot be empty."},
        {c.EditCacheFileName, "EditCacheFileName", "The cache file name cannot be empty."},
    };
    for (const auto& field : required) {
      if (!field.text.empty()) continue;
      MessageBoxA(owner, Translate(field.message), caption.c_str(), MB_OK | MB_ICONERROR);
      result.focusControl = field.control;
      return result;
    }
    result.canClose = true;
  } catch (...) {
    // A failure inside the check keeps the form open.
    result = CloseQuery();
  }
  return result;
}

std::string TFormLDAPConfigModel::ProposeCacheFileName(const std::string& directory) {
  std::string proposal;
  for (int number = 0; number < 40; ++number) {
    char name[16];
    std::snprintf(name, sizeof name, "cache%02d.pxb", number);
    proposal = directory + kPathSeparator + name;
    std::error_code error;
    if (!std::filesystem::exists(proposal, error)) break;
  }
  return proposal;
}

std::vector<std::string> TFormLDAPConfigModel::SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::string TFormLDAPConfigModel::JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string TFormLDAPConfigModel::Trim(const std::string& text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

LONG TFormLDAPConfigModel::TimeOutFromText(const std::string& text) {
  const std::string number = Trim(text);
  LONG value = 0;
  const char* begin = number.data();
  if (!number.empty() && number[0] == '+') ++begin;
  const auto [end, error] = std::from_chars(begin, number.data() + number.size(), value);
  if (number.empty() || error != std::errc() || end != number.data() + number.size()) return kTimeOutMinimum;
  return value;
}
