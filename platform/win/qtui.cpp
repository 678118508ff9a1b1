#include "qtui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QUrl>

bool QtGuiOnThisThread() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread();
}

int QtMessageBox(const char* text, const char* caption, UINT type) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
  }
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MB_YESNO: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case MB_YESNOCANCEL: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    default: break;
  }
  // The owner is the window that asks: the modal dialog in front, else the active window.
  QWidget* owner = QApplication::activeModalWidget();
  if (!owner) owner = QApplication::activeWindow();
  QMessageBox box(icon, QString::fromLocal8Bit(caption), QString::fromLocal8Bit(text), buttons, owner);
  box.setObjectName(QStringLiteral("MessageBox"));
  switch (box.exec()) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Ok: return IDOK;
    default: return DefaultMessageBoxAnswer(type);  // closed without a button
  }
}

bool QtOpenUrl(const char* file) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromLocal8Bit(file)));
}
