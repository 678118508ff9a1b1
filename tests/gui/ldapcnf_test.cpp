// The configuration dialog under Qt's offscreen platform: its layout, the record it loads and
// saves through its widgets, validation, the cache-name proposal, the links, Configure, and
// the dialog once in German.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "backend/ldapbe.h"
#include "config/ldapcnf.h"
#include "gnugettext.h"
#include "memprofsect.h"
#include "resources/configform.h"
#include "scripted_msgbox.h"
#include "tempdir.h"

namespace {

// Runs `action` on the modal window of type W as soon as it is shown; fails the test and
// rejects whatever is in front when none comes within ten seconds.
template <class W>
void WhenModal(std::function<void(W*)> action) {
  auto* timer = new QTimer;
  auto waited = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, waited, action] {
    QWidget* front = QApplication::activeModalWidget();
    if (auto* window = dynamic_cast<W*>(front); window && window->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(window);
    } else if (++*waited > 2000) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal window of the expected kind";
      if (auto* dialog = dynamic_cast<QDialog*>(front)) dialog->reject();
    }
  });
  timer->start(5);
}

template <class T>
T* Child(QWidget* form, const char* name) {
  T* child = form->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

void Type(QWidget* form, const char* name, const QString& text) {
  auto* edit = Child<QLineEdit>(form, name);
  edit->clear();
  // QTest types ASCII keys only; other text is inserted as an input method would.
  bool ascii = true;
  for (QChar c : text) ascii = ascii && c.unicode() < 0x80;
  if (ascii) {
    QTest::keyClicks(edit, text);
  } else {
    edit->insert(text);
  }
}

void Click(QWidget* form, const char* name) { QTest::mouseClick(Child<QAbstractButton>(form, name), Qt::LeftButton); }

std::string Text(const SPropValue* value) { return value && value->Value.lpszA ? value->Value.lpszA : "(none)"; }

class Dialog : public testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "ldapcnf_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

  // A section holding a complete, valid configuration.
  static void FillSection(MemoryProfileSection& section) {
    CLDAPProfileData data;
    data.DisplayName = "Company";
    data.ServerName = "ldap.example.org";
    data.SearchDN = "dc=example,dc=org";
    data.SearchString = "(mail=*)";
    data.CacheFileName = "/tmp/company.pxb";
    data.Port = 1389;
    data.ReservedId.fill(0x5A);
    ULONG count = 0;
    LPSPropValue values = nullptr;
    data.BuildProps(&count, &values);
    section.Put(count, values);
    MAPIFreeBuffer(values);
  }

  std::unique_ptr<QApplication> app_;
};

TEST_F(Dialog, EveryControlHasItsNameParentCaptionAndPlace) {
  TFormLDAPConfig form;
  EXPECT_EQ(form.size(), QSize(393, 355));
  EXPECT_EQ(form.Caption(), "Pernix LDAP Address Book Configuration");
  for (const FormControl& control : ConfigFormControls()) {
    SCOPED_TRACE(control.name);
    QWidget* widget = Child<QWidget>(&form, control.name);
    ASSERT_NE(widget, nullptr);
    if (control.width > 0) {
      EXPECT_EQ(widget->pos(), QPoint(control.left, control.top));
      EXPECT_EQ(widget->height(), control.height);
      const bool growsToText =
          control.kind == FormControlKind::CheckBox || control.kind == FormControlKind::RadioButton;
      const bool sizesToText = control.kind == FormControlKind::Label && std::string(control.name) != "Label8" &&
                               std::string(control.name) != "LabelVersion";
      if (sizesToText) {
        EXPECT_EQ(widget->width(), widget->sizeHint().width());
      } else if (growsToText) {
        EXPECT_GE(widget->width(), control.width);
        EXPECT_LE(widget->geometry().right(), widget->parentWidget()->width());
      } else {
        EXPECT_EQ(widget->width(), control.width);
      }
    }
    if (*control.parent && control.kind != FormControlKind::Page) {
      EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), control.parent);
    }
    if (control.kind == FormControlKind::GroupBox) {
      EXPECT_TRUE(widget->font().bold());
      EXPECT_EQ(static_cast<QGroupBox*>(widget)->title().toStdString(), control.caption);
    } else if (control.kind != FormControlKind::Page && control.kind != FormControlKind::Image) {
      EXPECT_EQ(widget->font().bold(), std::string(control.name) == "LabelVersion");
    }
    if (auto* button = dynamic_cast<QAbstractButton*>(widget)) {
      EXPECT_EQ(button->text().toStdString(), control.caption);
    }
  }
  auto* pages = Child<QTabWidget>(&form, "PageControl");
  ASSERT_EQ(pages->count(), 5);
  const char* titles[] = {"General", "Connection", "Search Options", "Schema Mapping", "About"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(pages->tabText(i).toStdString(), titles[i]);
  EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheetGeneral"));
  EXPECT_EQ(Child<QLabel>(&form, "Label6")->text(), QStringLiteral("Example: (&(objectClass=inetOrgPerson)(mail=*))"));
  EXPECT_EQ(Child<QLabel>(&form, "LabelVersion")->text(), QStringLiteral("Version: 1.1.6"));
  EXPECT_TRUE(Child<QLabel>(&form, "LabelVersion")->alignment() & Qt::AlignHCenter);
  EXPECT_TRUE(Child<QLabel>(&form, "Label3")->font().underline());
  EXPECT_FALSE(Child<QLabel>(&form, "Image1")->pixmap().isNull());

  auto* spin = Child<QSpinBox>(&form, "CSpinEditTimeOut");
  EXPECT_EQ(spin->minimum(), 30);
  EXPECT_EQ(spin->maximum(), 600);
  EXPECT_EQ(spin->value(), 60);
  auto* schema = Child<QTableWidget>(&form, "VLESchema");
  EXPECT_EQ(schema->horizontalHeaderItem(0)->text(), QStringLiteral("Address Book"));
  EXPECT_EQ(schema->horizontalHeaderItem(1)->text(), QStringLiteral("LDAP Name"));
  EXPECT_EQ(schema->columnWidth(0), 150);
  EXPECT_EQ(schema->rowCount(), 8);  // the design-time rows
  EXPECT_FALSE(Child<QPushButton>(&form, "ButtonLoadSchema")->isVisibleTo(&form));
  EXPECT_FALSE(Child<QPushButton>(&form, "ButtonSaveSchema")->isVisibleTo(&form));
  EXPECT_TRUE(Child<QPushButton>(&form, "ButtonOk")->isDefault());
  EXPECT_TRUE(Child<QRadioButton>(&form, "RadioButtonCN")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(&form, "CBAuthenticate")->isChecked());
  for (const char* name : {"EditDN", "EditPassword", "LabelDN", "LabelPassword"})
    EXPECT_FALSE(Child<QWidget>(&form, name)->isEnabled()) << name;
}

TEST_F(Dialog, PasswordShowsOnlyStars) {
  TFormLDAPConfig form;
  CLDAPProfileData data;
  data.Authenticate = true;
  data.Password = "s3cret";
  form.LoadControls(data);
  auto* password = Child<QLineEdit>(&form, "EditPassword");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(password->displayText(), QStringLiteral("******"));
  EXPECT_EQ(password->text(), QStringLiteral("s3cret"));
}

TEST_F(Dialog, WidgetsCarryTheRecordThereAndBack) {
  TFormLDAPConfig form;
  CLDAPProfileData data;
  data.ShowNamesBy = 7;
  data.TimeOut = 5;
  data.Comment = "one\r\ntwo";
  data.BindDN = "cn=reader";
  data.Password = "pw";
  data.Authenticate = false;
  form.LoadControls(data);
  EXPECT_TRUE(Child<QRadioButton>(&form, "RadioButtonCN")->isChecked());
  EXPECT_FALSE(Child<QRadioButton>(&form, "RadioButtonFirstName")->isChecked());
  EXPECT_EQ(Child<QSpinBox>(&form, "CSpinEditTimeOut")->value(), 30);
  EXPECT_EQ(Child<QTableWidget>(&form, "VLESchema")->rowCount(), 9);
  EXPECT_EQ(Child<QTableWidget>(&form, "VLESchema")->item(7, 0)->text(), QStringLiteral("Mobile"));
  EXPECT_FALSE(Child<QLineEdit>(&form, "EditDN")->isEnabled());

  CLDAPProfileData saved;
  form.SaveControls(saved);
  EXPECT_EQ(saved.ShowNamesBy, 2);
  EXPECT_EQ(saved.TimeOut, 30);
  EXPECT_EQ(saved.Comment, "one\r\ntwo");
  EXPECT_EQ(saved.BindDN, "cn=reader");  // greyed out, still saved
  EXPECT_EQ(saved.Password, "pw");
  EXPECT_EQ(saved.SchemaMapping.substr(0, 22), "First Name=givenname\r\n");
  EXPECT_EQ(saved.SchemaMapping.size() - saved.SchemaMapping.rfind("E-mail Address=mail\r\n"), 21u);

  // Unticking the anonymous bind enables the credentials; a first-name record ticks its button.
  Click(&form, "CBAuthenticate");
  EXPECT_TRUE(Child<QLineEdit>(&form, "EditDN")->isEnabled());
  EXPECT_TRUE(Child<QLabel>(&form, "LabelPassword")->isEnabled());
  data.ShowNamesBy = 0;
  form.LoadControls(data);
  EXPECT_TRUE(Child<QRadioButton>(&form, "RadioButtonFirstName")->isChecked());
  EXPECT_FALSE(Child<QRadioButton>(&form, "RadioButtonCN")->isChecked());
}

TEST_F(Dialog, OkWritesAllSeventeenPropertiesWithOneSetProps) {
  MemoryProfileSection section;
  FillSection(section);
  std::string caption;
  WhenModal<TFormLDAPConfig>([&](TFormLDAPConfig* form) {
    caption = form->Caption();
    Type(form, "EditDisplayName", QStringLiteral("  Staff  "));
    Child<QSpinBox>(form, "CSpinEditTimeOut")->setValue(90);
    Click(form, "RadioButtonLastName");
    Click(form, "CBAuthenticate");
    Type(form, "EditDN", QStringLiteral("cn=admin"));
    Type(form, "EditPassword", QStringLiteral("pässword"));
    Click(form, "ButtonOk");
  });
  auto backend = ComPtr<ABLDAPBackeEnd>(new ABLDAPBackeEnd(nullptr, nullptr));
  EXPECT_EQ(backend->Configure(&section), S_OK);
  EXPECT_EQ(caption, "Pernix LDAP Address Book");
  ASSERT_EQ(section.setPropsCounts, std::vector<ULONG>{17});
  EXPECT_EQ(section.saveChangesCalls, 0);
  EXPECT_EQ(Text(section.Find(PR_DISPLAY_NAME)), "Staff");
  EXPECT_EQ(section.Find(PR_LDAP_TIMEOUT)->Value.l, 90);
  EXPECT_EQ(section.Find(PR_LDAP_SHOW_NAMES_BY)->Value.l, 1);
  EXPECT_EQ(section.Find(PR_LDAP_AUTHENTICATE)->Value.b, 1);
  EXPECT_EQ(Text(section.Find(PR_LDAP_BIND_DN)), "cn=admin");
  EXPECT_EQ(Text(section.Find(PR_LDAP_PASSWORD)), "p\xc3\xa4ssword");
  // What the dialog does not show comes back unchanged.
  EXPECT_EQ(section.Find(PR_LDAP_PORT)->Value.l, 1389);
  ASSERT_EQ(section.Find(PR_LDAP_RESERVED_ID)->Value.bin.cb, 16u);
  EXPECT_EQ(section.Find(PR_LDAP_RESERVED_ID)->Value.bin.lpb[15], 0x5A);
  EXPECT_EQ(Text(section.Find(PR_COMMENT)), "");  // an empty field is stored as an empty string
  EXPECT_EQ(section.PropertyCount(), 17u);
}

TEST_F(Dialog, CancelEscapeAndCloseWriteNothing) {
  for (const char* how : {"ButtonCancel", "Escape", "Close"}) {
    SCOPED_TRACE(how);
    MemoryProfileSection section;
    FillSection(section);
    WhenModal<TFormLDAPConfig>([how](TFormLDAPConfig* form) {
      Type(form, "EditServerName", QStringLiteral("changed"));
      Type(form, "EditDisplayName", QString());  // would be refused by OK
      if (std::string(how) == "ButtonCancel") {
        Click(form, "ButtonCancel");
      } else if (std::string(how) == "Escape") {
        QTest::keyClick(form, Qt::Key_Escape);
      } else {
        form->close();
      }
    });
    ScriptedMessageBoxes boxes;
    auto backend = ComPtr<ABLDAPBackeEnd>(new ABLDAPBackeEnd(nullptr, nullptr));
    EXPECT_EQ(backend->Configure(&section), S_OK);
    EXPECT_TRUE(section.setPropsCounts.empty());
    EXPECT_EQ(Text(section.Find(PR_LDAP_SERVER_NAME)), "ldap.example.org");
    EXPECT_TRUE(boxes.Boxes().empty());
  }
}

TEST_F(Dialog, RefusedOkShowsTheMessageAndFocusesTheFieldOnItsPage) {
  MemoryProfileSection section;  // a new, empty section
  ScriptedMessageBoxes boxes;
  bool checked = false;
  WhenModal<TFormLDAPConfig>([&](TFormLDAPConfig* form) {
    Type(form, "EditDisplayName", QStringLiteral("Name"));
    Click(form, "ButtonOk");  // the server name is empty
    EXPECT_TRUE(form->isVisible());
    auto* pages = Child<QTabWidget>(form, "PageControl");
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheetConnection"));
    EXPECT_EQ(form->focusWidget(), Child<QWidget>(form, "EditServerName"));
    Type(form, "EditServerName", QStringLiteral("  host  "));
    Click(form, "ButtonOk");  // the search base is empty
    EXPECT_EQ(Child<QLineEdit>(form, "EditServerName")->text(), QStringLiteral("host"));
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheetSearchOptions"));
    checked = true;
    Click(form, "ButtonCancel");
  });
  auto backend = ComPtr<ABLDAPBackeEnd>(new ABLDAPBackeEnd(nullptr, nullptr));
  EXPECT_EQ(backend->Configure(&section), S_OK);
  EXPECT_TRUE(checked);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].text, "The server name field cannot be empty.");
  EXPECT_EQ(boxes.Boxes()[0].caption, "Pernix LDAP Address Book");
  EXPECT_EQ(boxes.Boxes()[1].text, "The search base field cannot be empty.");
  EXPECT_TRUE(section.setPropsCounts.empty());
}

TEST_F(Dialog, FailingProfileCallsEndConfigureWithTheirResult) {
  auto backend = ComPtr<ABLDAPBackeEnd>(new ABLDAPBackeEnd(nullptr, nullptr));
  EXPECT_EQ(backend->Configure(nullptr), MAPI_E_INVALID_PARAMETER);
  MemoryProfileSection unreadable;
  unreadable.failGetProps = MAPI_E_NO_ACCESS;
  EXPECT_EQ(backend->Configure(&unreadable), MAPI_E_NO_ACCESS);  // no dialog was shown

  MemoryProfileSection readOnly;
  FillSection(readOnly);
  readOnly.failSetProps = MAPI_E_NO_ACCESS;
  WhenModal<TFormLDAPConfig>([](TFormLDAPConfig* form) { Click(form, "ButtonOk"); });
  EXPECT_EQ(backend->Configure(&readOnly), MAPI_E_NO_ACCESS);
  EXPECT_EQ(readOnly.setPropsCounts, std::vector<ULONG>{17});
}

TEST_F(Dialog, BrowseProposesTheFirstFreeCacheNameInTheInstallDirectory) {
  TempDir dir;
  std::ofstream(dir / "registry") << "[HKEY_LOCAL_MACHINE\\Software\\Veskari Networks\\PXB]\nPath="
                                  << dir.path().string() << "\n";
  setenv("PXAB_REGISTRY", (dir / "registry").c_str(), 1);
  std::ofstream(dir / "cache00.pxb") << "x";
  std::ofstream(dir / "cache01.pxb") << "x";

  TFormLDAPConfig form;
  form.LoadControls(CLDAPProfileData());
  QString proposed;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->objectName(), QStringLiteral("SaveDialogCache"));
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("pxb"));
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Pernix LDAP Address Book ( *.pxb)")});
    proposed = dialog->selectedFiles().value(0);
    static_cast<QDialog*>(dialog)->accept();  // as the dialog's own button does
  });
  form.ButtonCacheClick();
  unsetenv("PXAB_REGISTRY");
  const QString expected = QString::fromStdString((dir / "cache02.pxb").string());
  EXPECT_EQ(proposed, expected);
  EXPECT_EQ(Child<QLineEdit>(&form, "EditCacheFileName")->text(), expected);
  EXPECT_FALSE(std::filesystem::exists(dir / "cache02.pxb"));  // nothing is written

  // A name already entered is offered as it stands; cancelling keeps it.
  Type(&form, "EditCacheFileName", QStringLiteral("/tmp/mine.pxb"));
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    proposed = dialog->selectedFiles().value(0);
    dialog->reject();
  });
  form.ButtonCacheClick();
  EXPECT_EQ(proposed, QStringLiteral("/tmp/mine.pxb"));
  EXPECT_EQ(Child<QLineEdit>(&form, "EditCacheFileName")->text(), QStringLiteral("/tmp/mine.pxb"));
}

TEST_F(Dialog, MappingFilesAreSavedWithCrLfAndLoadedBack) {
  TempDir dir;
  TFormLDAPConfig form;
  CLDAPProfileData data;
  data.SchemaMapping = "First Name=gn\nE-mail Address=mail";
  form.LoadControls(data);
  const QString file = QString::fromStdString((dir / "map.pxm").string());
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->objectName(), QStringLiteral("SaveDialogSchema"));
    dialog->selectFile(file);
    static_cast<QDialog*>(dialog)->accept();  // as the dialog's own button does
  });
  form.ButtonSaveSchemaClick();
  EXPECT_EQ(ReadAll(dir / "map.pxm"), "First Name=gn\r\nE-mail Address=mail\r\n");

  std::ofstream(dir / "other.pxm") << "Title=title\nCompany=o\n";
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->objectName(), QStringLiteral("OpenDialogSchema"));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    dialog->selectFile(QString::fromStdString((dir / "other.pxm").string()));
    static_cast<QDialog*>(dialog)->accept();  // as the dialog's own button does
  });
  form.ButtonLoadSchemaClick();
  form.SaveControls(data);
  EXPECT_EQ(data.SchemaMapping, "Title=title\r\nCompany=o\r\n");
}

TEST_F(Dialog, LinkAndPictureOpenTheWebPageOncePerClickAndDoubleClick) {
  std::vector<std::string> opened;
  ShellOpenHandler previous = SetShellOpenHandler([&](const char* file) {
    opened.emplace_back(file);
    return true;
  });
  TFormLDAPConfig form;
  form.show();
  Child<QTabWidget>(&form, "PageControl")->setCurrentIndex(4);
  QTest::mouseClick(Child<QWidget>(&form, "Label3"), Qt::LeftButton);
  const std::size_t afterClick = opened.size();
  // A double click: the first press and release, then the second press as a double click.
  QTest::mouseClick(Child<QWidget>(&form, "Image1"), Qt::LeftButton);
  QTest::mouseDClick(Child<QWidget>(&form, "Image1"), Qt::LeftButton);
  SetShellOpenHandler(std::move(previous));
  EXPECT_EQ(afterClick, 1u);
  EXPECT_EQ(opened.size(), 3u);  // the double click's first click, then the double click
  for (const std::string& file : opened) EXPECT_EQ(file, kWebAddress);
}

TEST(DialogWithoutDisplay, ConfigureFailsCleanlyAndLeavesTheSectionAlone) {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
  EXPECT_FALSE(DialogDisplayAvailable());
  MemoryProfileSection section;
  auto backend = ComPtr<ABLDAPBackeEnd>(new ABLDAPBackeEnd(nullptr, nullptr));
  EXPECT_EQ(backend->Configure(&section), MAPI_E_NO_SUPPORT);
  EXPECT_TRUE(section.setPropsCounts.empty());
  EXPECT_EQ(QCoreApplication::instance(), nullptr);

  // An X11 platform without an X display would end the process: it is not tried either.
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  EXPECT_FALSE(DialogDisplayAvailable());
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

TEST(DialogWithoutApplication, TheProviderMakesOneForTheDialogsLifetime) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  {
    DialogApplication application;
    EXPECT_TRUE(application.Available());
    EXPECT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
    TFormLDAPConfig form;  // can be made now
  }
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

// The German dialog: every text of the form comes from the catalogue, and the validation box
// is the platform's Qt box, owned by the form.
class GermanDialog : public Dialog {
 protected:
  void SetUp() override {
    setenv("LANGUAGE", "de", 1);
    SetTranslationDirectory(PX_BINARY_DIR "/locale");
    Dialog::SetUp();
  }
  void TearDown() override {
    Dialog::TearDown();
    unsetenv("LANGUAGE");
  }
};

TEST_F(GermanDialog, ShowsGermanTextsAndAGermanQtMessageBoxOwnedByTheForm) {
  SetMessageBoxHandler(nullptr);  // the platform's own box
  MemoryProfileSection section;
  FillSection(section);
  QString boxText, boxTitle;
  bool ownedByForm = false;
  WhenModal<TFormLDAPConfig>([&](TFormLDAPConfig* form) {
    auto* pages = Child<QTabWidget>(form, "PageControl");
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Allgemein"));
    EXPECT_EQ(pages->tabText(3), QStringLiteral("Attributzuordnung"));
    EXPECT_EQ(Child<QGroupBox>(form, "GroupBox1")->title(), QStringLiteral("  Anzeigename  "));
    EXPECT_EQ(Child<QPushButton>(form, "ButtonCancel")->text(), QStringLiteral("&Abbrechen"));
    EXPECT_EQ(Child<QLabel>(form, "LabelPassword")->text(), QStringLiteral("Kennwort:"));
    EXPECT_EQ(Child<QTableWidget>(form, "VLESchema")->horizontalHeaderItem(0)->text(), QStringLiteral("Adressbuch"));
    EXPECT_EQ(Child<QLabel>(form, "Label6")->text(),
              QStringLiteral("Beispiel: (&(objectClass=inetOrgPerson)(mail=*))"));
    WhenModal<QMessageBox>([&, form](QMessageBox* box) {
      boxText = box->text();
      boxTitle = box->windowTitle();
      ownedByForm = box->parentWidget() == form;
      EXPECT_EQ(box->icon(), QMessageBox::Critical);
      box->accept();
    });
    Type(form, "EditServerName", QString());
    Click(form, "ButtonOk");
    Click(form, "ButtonCancel");
  });
  auto backend = ComPtr<ABLDAPBackeEnd>(new ABLDAPBackeEnd(nullptr, nullptr));
  EXPECT_EQ(backend->Configure(&section), S_OK);
  EXPECT_EQ(boxText, QStringLiteral("Der Servername darf nicht leer sein."));
  EXPECT_EQ(boxTitle, QStringLiteral("Pernix LDAP Address Book"));
  EXPECT_TRUE(ownedByForm);
  EXPECT_TRUE(section.setPropsCounts.empty());
}

TEST_F(GermanDialog, EveryTextOfTheFormHasAGermanTranslation) {
  // The catalogue's German text for each caption, message and filter: none may be missing.
  std::set<std::string> texts{kConfigFormCaption,
                              kVersionLabel,
                              kSchemaKeyTitle,
                              kSchemaValueTitle,
                              "The display name field cannot be empty.",
                              "The server name field cannot be empty.",
                              "The search base field cannot be empty.",
                              "The search string field cannot be empty.",
                              "The cache file name cannot be empty."};
  for (const FormControl& control : ConfigFormControls()) {
    if (*control.caption && std::string(control.caption) != kWebAddress) texts.insert(control.caption);
  }
  for (const FormFileDialog& dialog : ConfigFormFileDialogs()) texts.insert(dialog.filter);
  // Texts that read the same in German.
  const std::set<std::string> same{"&OK", "Version:"};
  for (const std::string& text : texts) {
    if (same.count(text)) continue;
    EXPECT_NE(std::string(Translate(text.c_str())), text) << "no German text for \"" << text << "\"";
  }
}

}  // namespace
