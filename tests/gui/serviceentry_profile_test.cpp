// The configuration dialog on a real profile, as a client opens it: IMsgServiceAdmin's
// ConfigureMsgService with SERVICE_UI_ALWAYS loads the provider module, whose service entry
// shows the dialog. OK must reach the profile file at once; Cancel must leave it as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "mapiptr.h"
#include "mapiutil.h"
#include "mapix.h"
#include "scripted_msgbox.h"
#include "tempdir.h"

namespace {
// Runs `act` on the first modal dialog once it shows; counts the dialogs seen.
void WhenShown(int* shown, std::function<void(QDialog*)> act) {
  auto* timer = new QTimer;
  auto waited = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, waited, shown, act] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if ((dialog && dialog->isVisible()) || ++*waited > 2000) {
      timer->stop();
      timer->deleteLater();
      if (dialog) {
        ++*shown;
        act(dialog);
      }
    }
  });
  timer->start(5);
}

class ServiceEntryOnProfile : public testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "serviceentry_profile_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    setenv("PXAB_PROFILE_DIR", (dir_ / "profiles").c_str(), 1);
    ASSERT_EQ(Pxab("profile create work --set ServerName=ldap.example.com --set SearchDN=dc=example,dc=com"
                   " --set 'SearchString=(objectClass=person)' --set 'Comment=Made by pxab' --set DisplayName=Staff"
                   " --set CacheFileName=" +
                   (dir_ / "people.pxb").string()),
              0);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    ASSERT_EQ(MAPIAdminProfiles(0, admin_.put()), S_OK);
    ASSERT_EQ(admin_->AdminServices(const_cast<LPSTR>("work"), nullptr, 0, 0, services_.put()), S_OK);
    ComPtr<IMAPITable> table;
    ASSERT_EQ(services_->GetMsgServiceTable(0, table.put()), S_OK);
    LPSRowSet rows = nullptr;
    ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    const SPropValue* uid = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_SERVICE_UID);
    ASSERT_NE(uid, nullptr);
    ASSERT_EQ(uid->Value.bin.cb, sizeof(MAPIUID));
    std::memcpy(&uid_, uid->Value.bin.lpb, sizeof(MAPIUID));
    FreeProws(rows);
  }
  void TearDown() override {
    services_.reset();
    admin_.reset();
    MAPIUninitialize();
    app_.reset();
  }

  // Runs pxab with `args` (shell words); its output goes to dir_/stdout.
  int Pxab(const std::string& args) {
    const std::string command =
        std::string(PX_PXAB) + " " + args + " </dev/null >'" + (dir_ / "stdout").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ProfileFile() const { return ReadAll(dir_ / "profiles" / "work.profile"); }

  TempDir dir_;
  std::unique_ptr<QApplication> app_;
  ComPtr<IProfAdmin> admin_;
  ComPtr<IMsgServiceAdmin> services_;
  MAPIUID uid_{};
};
}  // namespace

TEST_F(ServiceEntryOnProfile, OkWritesTheEditedSettingsToTheProfileFile) {
  int shown = 0;
  WhenShown(&shown, [](QDialog* dialog) {
    auto* notes = dialog->findChild<QPlainTextEdit*>("MemoNotes");
    auto* ok = dialog->findChild<QPushButton*>("ButtonOk");
    ASSERT_NE(notes, nullptr);
    ASSERT_NE(ok, nullptr);
    notes->setPlainText("Edited in the dialog");
    ok->click();
    // A refused OK keeps the dialog open; end it so that the test reports instead of waiting.
    if (dialog->isVisible()) dialog->reject();
  });
  // A refused OK would show a message box and keep the dialog open: record it instead.
  ScriptedMessageBoxes boxes;
  ASSERT_EQ(services_->ConfigureMsgService(&uid_, 0, SERVICE_UI_ALWAYS, 0, nullptr), S_OK);
  EXPECT_EQ(shown, 1);
  ASSERT_TRUE(boxes.Boxes().empty()) << boxes.Boxes().front().text;
  // Another process reads the file: what the dialog wrote is there without any save call.
  ASSERT_EQ(Pxab("profile show work"), 0);
  const std::string shownProfile = ReadAll(dir_ / "stdout");
  EXPECT_NE(shownProfile.find("\"Comment\": \"Edited in the dialog\""), std::string::npos) << shownProfile;
  EXPECT_NE(shownProfile.find("\"ServerName\": \"ldap.example.com\""), std::string::npos) << shownProfile;
}

TEST_F(ServiceEntryOnProfile, CancelLeavesTheProfileFileByteForByte) {
  const std::string before = ProfileFile();
  ASSERT_FALSE(before.empty());
  int shown = 0;
  WhenShown(&shown, [](QDialog* dialog) {
    if (auto* notes = dialog->findChild<QPlainTextEdit*>("MemoNotes")) notes->setPlainText("Never stored");
    dialog->reject();
  });
  ASSERT_EQ(services_->ConfigureMsgService(&uid_, 0, SERVICE_UI_ALWAYS, 0, nullptr), S_OK);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ProfileFile(), before);
}
