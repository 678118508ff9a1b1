// The service entry with a user interface allowed: the passed values are stored first, then the
// configuration dialog runs on the service's section; cancelling keeps what was passed.
#include "config/serviceentry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <memory>

#include "config/ldapcnf.h"
#include "config/ldapproviderdata.h"
#include "mapicode.h"
#include "scripted_msgbox.h"
#include "support_double.h"

namespace {
// Rejects (cancels) the first modal dialog as soon as it shows; counts the dialogs seen.
void CancelWhenShown(int* shown) {
  auto* timer = new QTimer;
  auto waited = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, waited, shown] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if ((dialog && dialog->isVisible()) || ++*waited > 2000) {
      timer->stop();
      timer->deleteLater();
      if (dialog) {
        ++*shown;
        dialog->reject();
      }
    }
  });
  timer->start(5);
}

class ServiceEntryDialog : public testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "serviceentry_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }
  std::unique_ptr<QApplication> app_;
};
}  // namespace

TEST_F(ServiceEntryDialog, EitherUserInterfaceFlagShowsTheDialogAfterStoringTheValues) {
  for (const ULONG flags : {SERVICE_UI_ALLOWED, SERVICE_UI_ALWAYS}) {
    SCOPED_TRACE(flags);
    SupportDouble support;
    ProviderAdminDouble admin(support);
    SPropValue value{};
    value.ulPropTag = PR_LDAP_SERVER_NAME;
    value.Value.lpszA = const_cast<LPSTR>("ldap.example.com");
    int shown = 0;
    CancelWhenShown(&shown);
    ScriptedMessageBoxes boxes;
    EXPECT_EQ(ServiceEntry(nullptr, nullptr, &support, 0, flags, MSG_SERVICE_CONFIGURE, 1, &value, &admin, nullptr),
              S_OK);
    EXPECT_EQ(shown, 1);
    // The passed value was written and saved before the dialog; the cancelled dialog wrote nothing.
    EXPECT_EQ(support.Service().setPropsCalls, 1);
    EXPECT_EQ(support.Service().saveChangesCalls, 1);
    ASSERT_NE(support.Service().Find(PR_LDAP_SERVER_NAME), nullptr);
    EXPECT_STREQ(support.Service().Find(PR_LDAP_SERVER_NAME)->Value.lpszA, "ldap.example.com");
    EXPECT_EQ(support.Service().Count(), 1u);
  }
}
