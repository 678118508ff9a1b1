#include "config/ldapcnf.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "config/getpath.h"
#include "gnugettext.h"
#include "resources/configform.h"
#include "resources/configpicture.h"

namespace {
QString Text(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
std::string Bytes(const QString& text) { return text.toLocal8Bit().toStdString(); }
QString Translated(const char* text) { return QString::fromLocal8Bit(Translate(text)); }

// A label shows its caption as the form framework does: "&&" is one ampersand, a single one
// marks an accelerator and is not shown.
QString LabelCaption(const char* caption) {
  const QString text = Translated(caption);
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

// Password edits show one "*" per character, whatever the desktop style would draw.
class StarPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

// "Description|pattern" as a Qt name filter.
QString NameFilter(const char* filter) {
  const QString text = Translated(filter);
  const qsizetype bar = text.indexOf(u'|');
  if (bar < 0) return text;
  const QString description = text.left(bar), pattern = text.mid(bar + 1);
  return description.endsWith(u')') ? description : description + QStringLiteral(" (") + pattern + u')';
}

// A file dialog of the form, configured from its resources; Qt's own widgets, so that it looks
// and behaves the same on every desktop.
void SetUpFileDialog(QFileDialog& dialog, const char* name) {
  const FormFileDialog& resource = FindConfigFormFileDialog(name);
  dialog.setObjectName(QString::fromLatin1(resource.name));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(resource.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(resource.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !resource.promptOverwrite);
  dialog.setDefaultSuffix(QString::fromLatin1(resource.defaultExtension));
  dialog.setNameFilter(NameFilter(resource.filter));
  dialog.setSizeGripEnabled(true);
}

// The page of the page control that holds `widget`.
QWidget* PageOf(QTabWidget* pages, QWidget* widget) {
  for (QWidget* at = widget; at; at = at->parentWidget())
    if (pages->indexOf(at) >= 0) return at;
  return nullptr;
}
}  // namespace

TFormLDAPConfig::TFormLDAPConfig(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("FormLDAPConfig"));
  BuildControls();
  FormCreate();
}

TFormLDAPConfig::~TFormLDAPConfig() = default;

void TFormLDAPConfig::BuildControls() {
  // The form's font where the desktop has it, else the closest narrow sans-serif, so that the
  // texts fit the places laid out for it.
  QFont::insertSubstitutions(QString::fromLatin1(kConfigFormFont),
                             {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans Narrow"),
                              QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Arial")});
  QFont font(QString::fromLatin1(kConfigFormFont));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kConfigFormFontHeight);
  font.setBold(false);
  setFont(font);
  QFont bold = font;
  bold.setBold(true);

  setWindowTitle(Translated(kConfigFormCaption));
  setFixedSize(kConfigFormWidth, kConfigFormHeight);  // a dialog border: not resizable
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setSizeGripEnabled(false);

  std::map<std::string, QWidget*> parents{{"", this}};
  QTabWidget* pageControl = nullptr;
  for (const FormControl& control : ConfigFormControls()) {
    QWidget* parent = parents.at(control.parent);
    QWidget* widget = nullptr;
    switch (control.kind) {
      case FormControlKind::Page:
        if (!pageControl) {
          pageControl = new QTabWidget(parent);
          widget = pageControl;
        } else {
          widget = new QWidget();
          pageControl->addTab(widget, Translated(control.caption));
        }
        break;
      case FormControlKind::GroupBox: {
        auto* box = new QGroupBox(Translated(control.caption), parent);
        box->setFont(bold);  // the caption only: every child sets the form's font again
        widget = box;
        break;
      }
      case FormControlKind::Label: widget = new QLabel(LabelCaption(control.caption), parent); break;
      case FormControlKind::Edit: widget = new QLineEdit(parent); break;
      case FormControlKind::Memo: widget = new QPlainTextEdit(parent); break;
      case FormControlKind::RadioButton: widget = new QRadioButton(Translated(control.caption), parent); break;
      case FormControlKind::CheckBox: widget = new QCheckBox(Translated(control.caption), parent); break;
      case FormControlKind::SpinEdit: {
        auto* spin = new QSpinBox(parent);
        spin->setRange(kTimeOutMinimum, kTimeOutMaximum);
        spin->setValue(kTimeOutDesignValue);
        widget = spin;
        break;
      }
      case FormControlKind::Button: widget = new QPushButton(Translated(control.caption), parent); break;
      case FormControlKind::ValueList: {
        auto* table = new QTableWidget(0, 2, parent);
        table->setHorizontalHeaderLabels({Translated(kSchemaKeyTitle), Translated(kSchemaValueTitle)});
        table->setColumnWidth(0, kSchemaKeyWidth);
        table->setColumnWidth(1, kSchemaValueWidth);
        table->verticalHeader()->hide();
        table->verticalHeader()->setMinimumSectionSize(16);
        table->verticalHeader()->setDefaultSectionSize(18);  // the grid's row height
        table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->horizontalHeader()->setStretchLastSection(true);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setEditTriggers(QAbstractItemView::AllEditTriggers);
        widget = table;
        break;
      }
      case FormControlKind::Panel: {
        auto* panel = new QFrame(parent);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);  // lowered bevel
        widget = panel;
        break;
      }
      case FormControlKind::Image: widget = new QLabel(parent); break;
    }
    widget->setObjectName(QString::fromLatin1(control.name));
    if (control.kind != FormControlKind::GroupBox) widget->setFont(font);
    if (control.width > 0) widget->setGeometry(control.left, control.top, control.width, control.height);
    parents[control.name] = widget;
  }

  // Labels size themselves to their text, as the form framework's labels do, except the two
  // laid out with a fixed size. Check boxes and radio buttons keep their place but grow to
  // their text within their group box: the substitute font and a translation may be wider.
  for (const FormControl& control : ConfigFormControls()) {
    QWidget* widget = parents.at(control.name);
    if (control.kind == FormControlKind::Label && std::strcmp(control.name, "Label8") != 0 &&
        std::strcmp(control.name, "LabelVersion") != 0) {
      widget->resize(widget->sizeHint().width(), control.height);
    } else if (control.kind == FormControlKind::CheckBox || control.kind == FormControlKind::RadioButton) {
      const int room = widget->parentWidget()->width() - control.left - 4;
      widget->resize(std::max(control.width, std::min(widget->sizeHint().width(), room)), control.height);
    }
  }

  // All five page tabs in one row, as the page control shows them, without scroll buttons.
  pageControl->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 6px; }"));
  pageControl->setUsesScrollButtons(false);

  // Settings beyond name, caption and position.
  findChild<QRadioButton*>(QStringLiteral("RadioButtonCN"))->setChecked(true);
  findChild<QCheckBox*>(QStringLiteral("CBAuthenticate"))->setChecked(true);
  auto* password = findChild<QLineEdit*>(QStringLiteral("EditPassword"));
  password->setEchoMode(QLineEdit::Password);
  auto* starStyle = new StarPasswordStyle;
  starStyle->setParent(password);
  password->setStyle(starStyle);

  auto* schemaHint = findChild<QLabel*>(QStringLiteral("Label8"));
  schemaHint->setWordWrap(true);
  schemaHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  for (const char* name : {"ButtonLoadSchema", "ButtonSaveSchema"})
    findChild<QPushButton*>(QString::fromLatin1(name))->setVisible(false);

  auto* image = findChild<QLabel*>(QStringLiteral("Image1"));
  image->setPixmap(ConfigFormPicture(image->width(), image->height(), devicePixelRatio()));
  image->setScaledContents(true);
  auto* link = findChild<QLabel*>(QStringLiteral("Label3"));
  QFont linkFont = font;
  linkFont.setUnderline(true);
  link->setFont(linkFont);
  QPalette linkPalette = link->palette();
  linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 0x80));  // navy
  link->setPalette(linkPalette);
  for (QLabel* target : {image, link}) {
    target->setCursor(Qt::PointingHandCursor);
    target->installEventFilter(this);
  }
  auto* version = findChild<QLabel*>(QStringLiteral("LabelVersion"));
  version->setFont(bold);
  version->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  auto* ok = findChild<QPushButton*>(QStringLiteral("ButtonOk"));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] {
    ButtonOkClick();
    done(Accepted);
  });
  connect(findChild<QPushButton*>(QStringLiteral("ButtonCancel")), &QPushButton::clicked, this, [this] {
    ButtonCancelClick();
    done(Rejected);
  });
  connect(findChild<QCheckBox*>(QStringLiteral("CBAuthenticate")), &QCheckBox::clicked, this,
          [this] { CBAuthenticateClick(); });
  connect(findChild<QPushButton*>(QStringLiteral("ButtonCache")), &QPushButton::clicked, this,
          [this] { ButtonCacheClick(); });
  connect(findChild<QPushButton*>(QStringLiteral("ButtonLoadSchema")), &QPushButton::clicked, this,
          [this] { ButtonLoadSchemaClick(); });
  connect(findChild<QPushButton*>(QStringLiteral("ButtonSaveSchema")), &QPushButton::clicked, this,
          [this] { ButtonSaveSchemaClick(); });
}

void TFormLDAPConfig::FormCreate() {
  // The texts went through the translation lookup as the controls were made.
  model_.OkPressed = 0;
  auto* pages = findChild<QTabWidget*>(QStringLiteral("PageControl"));
  pages->setCurrentWidget(findChild<QWidget*>(QStringLiteral("TabSheetGeneral")));
  findChild<QLabel*>(QStringLiteral("LabelVersion"))
      ->setText(Translated(kVersionLabel) + QLatin1String(kVersionNumber));
  WriteControls();  // the design-time contents
  UpdateAuthenticationControls();
}

void TFormLDAPConfig::SetCaption(const std::string& caption) { setWindowTitle(Text(caption)); }
std::string TFormLDAPConfig::Caption() const { return Bytes(windowTitle()); }

HWND TFormLDAPConfig::Handle() { return reinterpret_cast<HWND>(static_cast<QWidget*>(this)); }

void TFormLDAPConfig::ReadControls() {
  LDAPConfigControls& c = model_.Controls;
  auto edit = [this](const char* name) { return Bytes(findChild<QLineEdit*>(QString::fromLatin1(name))->text()); };
  auto checked = [this](const char* name) {
    return findChild<QAbstractButton*>(QString::fromLatin1(name))->isChecked();
  };
  c.EditDisplayName = edit("EditDisplayName");
  c.RadioButtonFirstName = checked("RadioButtonFirstName");
  c.RadioButtonLastName = checked("RadioButtonLastName");
  c.RadioButtonCN = checked("RadioButtonCN");
  // The memo separates its lines with CR LF, as the record keeps them.
  c.MemoNotes = Bytes(findChild<QPlainTextEdit*>(QStringLiteral("MemoNotes"))->toPlainText().replace(u'\n', "\r\n"));
  c.EditServerName = edit("EditServerName");
  c.CheckBoxUseSSL = checked("CheckBoxUseSSL");
  c.CheckBoxVersion3 = checked("CheckBoxVersion3");
  c.EditSearchDN = edit("EditSearchDN");
  c.EditSearchString = edit("EditSearchString");
  c.CheckBoxDeepSearch = checked("CheckBoxDeepSearch");
  c.CSpinEditTimeOut = Bytes(findChild<QSpinBox*>(QStringLiteral("CSpinEditTimeOut"))->text());
  c.EditCacheFileName = edit("EditCacheFileName");
  c.VLESchema.clear();
  auto* table = findChild<QTableWidget*>(QStringLiteral("VLESchema"));
  for (int row = 0; row < table->rowCount(); ++row) {
    const QTableWidgetItem* key = table->item(row, 0);
    const QTableWidgetItem* value = table->item(row, 1);
    const QString keyText = key ? key->text() : QString();
    const QString valueText = value ? value->text() : QString();
    // A row read from a line without "=" goes back as it came unless it got a value.
    const bool separated = !valueText.isEmpty() || (key && key->data(Qt::UserRole).toBool());
    c.VLESchema.push_back(Bytes(separated ? keyText + u'=' + valueText : keyText));
  }
  c.CBAuthenticate = checked("CBAuthenticate");
  c.EditDN = edit("EditDN");
  c.EditPassword = edit("EditPassword");
}

void TFormLDAPConfig::WriteControls() {
  const LDAPConfigControls& c = model_.Controls;
  auto edit = [this](const char* name, const std::string& text) {
    findChild<QLineEdit*>(QString::fromLatin1(name))->setText(Text(text));
  };
  auto check = [this](const char* name, bool on) {
    findChild<QAbstractButton*>(QString::fromLatin1(name))->setChecked(on);
  };
  edit("EditDisplayName", c.EditDisplayName);
  // Radio buttons in one group exclude each other only while one is being checked: clear all
  // first, then check the chosen one.
  for (const char* name : {"RadioButtonFirstName", "RadioButtonLastName", "RadioButtonCN"}) {
    auto* radio = findChild<QRadioButton*>(QString::fromLatin1(name));
    radio->setAutoExclusive(false);
    radio->setChecked(false);
  }
  check("RadioButtonFirstName", c.RadioButtonFirstName);
  check("RadioButtonLastName", c.RadioButtonLastName);
  check("RadioButtonCN", c.RadioButtonCN);
  for (const char* name : {"RadioButtonFirstName", "RadioButtonLastName", "RadioButtonCN"})
    findChild<QRadioButton*>(QString::fromLatin1(name))->setAutoExclusive(true);
  QString memo = Text(c.MemoNotes);
  memo.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  findChild<QPlainTextEdit*>(QStringLiteral("MemoNotes"))->setPlainText(memo);
  edit("EditServerName", c.EditServerName);
  check("CheckBoxUseSSL", c.CheckBoxUseSSL);
  check("CheckBoxVersion3", c.CheckBoxVersion3);
  edit("EditSearchDN", c.EditSearchDN);
  edit("EditSearchString", c.EditSearchString);
  check("CheckBoxDeepSearch", c.CheckBoxDeepSearch);
  findChild<QSpinBox*>(QStringLiteral("CSpinEditTimeOut"))
      ->setValue(static_cast<int>(TFormLDAPConfigModel::TimeOutFromText(c.CSpinEditTimeOut)));
  edit("EditCacheFileName", c.EditCacheFileName);
  auto* table = findChild<QTableWidget*>(QStringLiteral("VLESchema"));
  table->setRowCount(static_cast<int>(c.VLESchema.size()));
  for (int row = 0; row < table->rowCount(); ++row) {
    const QString line = Text(c.VLESchema[static_cast<std::size_t>(row)]);
    const qsizetype equals = line.indexOf(u'=');
    auto* key = new QTableWidgetItem(equals < 0 ? line : line.left(equals));
    key->setFlags(key->flags() & ~Qt::ItemIsEditable);  // the names are fixed; the values are edited
    key->setData(Qt::UserRole, equals >= 0);
    table->setItem(row, 0, key);
    table->setItem(row, 1, new QTableWidgetItem(equals < 0 ? QString() : line.mid(equals + 1)));
  }
  check("CBAuthenticate", c.CBAuthenticate);
  edit("EditDN", c.EditDN);
  edit("EditPassword", c.EditPassword);
  for (const char* name : {"EditDN", "EditPassword", "LabelDN", "LabelPassword"})
    findChild<QWidget*>(QString::fromLatin1(name))->setEnabled(c.AuthenticationEnabled);
}

void TFormLDAPConfig::LoadControls(const CLDAPProfileData& data) {
  model_.LoadControls(data);
  WriteControls();
}

void TFormLDAPConfig::SaveControls(CLDAPProfileData& data) {
  ReadControls();
  model_.SaveControls(data);
}

void TFormLDAPConfig::UpdateAuthenticationControls() {
  model_.Controls.CBAuthenticate = findChild<QCheckBox*>(QStringLiteral("CBAuthenticate"))->isChecked();
  model_.UpdateAuthenticationControls();
  for (const char* name : {"EditDN", "EditPassword", "LabelDN", "LabelPassword"})
    findChild<QWidget*>(QString::fromLatin1(name))->setEnabled(model_.Controls.AuthenticationEnabled);
}

void TFormLDAPConfig::CBAuthenticateClick() { UpdateAuthenticationControls(); }
void TFormLDAPConfig::ButtonOkClick() { model_.ButtonOkClick(); }
void TFormLDAPConfig::ButtonCancelClick() { model_.ButtonCancelClick(); }

bool TFormLDAPConfig::FormCloseQuery() {
  ReadControls();
  const TFormLDAPConfigModel::CloseQuery query = model_.FormCloseQuery(Caption(), Handle());
  WriteControls();  // the trimmed texts
  if (query.focusControl) {
    if (auto* control = findChild<QWidget*>(QString::fromLatin1(query.focusControl))) {
      auto* pages = findChild<QTabWidget*>(QStringLiteral("PageControl"));
      if (QWidget* page = PageOf(pages, control)) pages->setCurrentWidget(page);
      control->setFocus(Qt::OtherFocusReason);
    }
  }
  return query.canClose;
}

void TFormLDAPConfig::done(int result) {
  if (!FormCloseQuery()) return;
  QDialog::done(result);
}

void TFormLDAPConfig::reject() {
  // Escape and the window's close button act as the Cancel button.
  ButtonCancelClick();
  done(Rejected);
}

int TFormLDAPConfig::ShowModal() {
  setWindowModality(Qt::ApplicationModal);
  return exec() == Accepted ? mrOk : mrCancel;
}

void TFormLDAPConfig::ButtonCacheClick() {
  try {
    ReadControls();
    QFileDialog dialog(this);
    SetUpFileDialog(dialog, "SaveDialogCache");
    const std::string& current = model_.Controls.EditCacheFileName;
    const std::string proposal =
        current.empty() ? TFormLDAPConfigModel::ProposeCacheFileName(GetInstallPath()) : current;
    const std::filesystem::path path(proposal);
    if (path.has_parent_path()) dialog.setDirectory(Text(path.parent_path().string()));
    dialog.selectFile(Text(proposal));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    findChild<QLineEdit*>(QStringLiteral("EditCacheFileName"))->setText(dialog.selectedFiles().first());
  } catch (...) {
    // The dialog stays open as it was.
  }
}

void TFormLDAPConfig::ButtonLoadSchemaClick() {
  try {
    QFileDialog dialog(this);
    SetUpFileDialog(dialog, "OpenDialogSchema");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    std::ifstream in(std::filesystem::path(Bytes(dialog.selectedFiles().first())), std::ios::binary);
    if (!in) return;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ReadControls();
    model_.Controls.VLESchema = TFormLDAPConfigModel::SplitLines(text);
    WriteControls();
  } catch (...) {
  }
}

void TFormLDAPConfig::ButtonSaveSchemaClick() {
  try {
    QFileDialog dialog(this);
    SetUpFileDialog(dialog, "SaveDialogSchema");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    ReadControls();
    // Written beside the target and renamed over it, so that a failed write loses nothing.
    const std::filesystem::path target(Bytes(dialog.selectedFiles().first()));
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << TFormLDAPConfigModel::JoinLines(model_.Controls.VLESchema);
      out.flush();
      if (!out) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return;
      }
    }
    std::filesystem::rename(temporary, target);
  } catch (...) {
  }
}

void TFormLDAPConfig::OpenWebPage() { ShellExecuteA(Handle(), "open", kWebAddress, nullptr, nullptr, SW_SHOWNORMAL); }
void TFormLDAPConfig::Label3Click() { OpenWebPage(); }
void TFormLDAPConfig::Label3DblClick() { OpenWebPage(); }
void TFormLDAPConfig::Image1Click() { OpenWebPage(); }
void TFormLDAPConfig::Image1DblClick() { OpenWebPage(); }

bool TFormLDAPConfig::eventFilter(QObject* watched, QEvent* event) {
  const bool isLink = watched->objectName() == QLatin1String("Label3");
  const bool isImage = watched->objectName() == QLatin1String("Image1");
  if (!isLink && !isImage) return QDialog::eventFilter(watched, event);
  // A click is a press and release; the second press of a double click reports the double
  // click instead, and its release no further click.
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      linkPressed_ = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
      return true;
    case QEvent::MouseButtonRelease:
      if (linkPressed_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        linkPressed_ = false;
        isLink ? Label3Click() : Image1Click();
      }
      return true;
    case QEvent::MouseButtonDblClick:
      linkPressed_ = false;
      isLink ? Label3DblClick() : Image1DblClick();
      return true;
    default: return QDialog::eventFilter(watched, event);
  }
}

bool DialogDisplayAvailable() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    return QThread::currentThread() == QCoreApplication::instance()->thread();
  if (QCoreApplication::instance()) return false;  // a console application cannot host widgets
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform) {
    // Qt ends the process when its platform cannot connect; only ask for one that can.
    if (std::strncmp(platform, "xcb", 3) == 0) return set("DISPLAY");
    if (std::strncmp(platform, "wayland", 7) == 0) return set("WAYLAND_DISPLAY");
    return true;  // offscreen, vnc, eglfs, ... need no display server
  }
  return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

DialogApplication::DialogApplication() {
  if (!DialogDisplayAvailable()) return;
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "pxbl";
    static char* argv[] = {name, nullptr};
    own_ = std::make_unique<QApplication>(argc, argv);
  }
  available_ = true;
}

DialogApplication::~DialogApplication() = default;
