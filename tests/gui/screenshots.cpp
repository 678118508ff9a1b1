// Renders every page of the configuration dialog to PNG files, for the documentation:
//   screenshots OUTPUT_DIR SUFFIX   ->  OUTPUT_DIR/config-<page>-SUFFIX.png
// Run under QT_QPA_PLATFORM=offscreen; the language follows LANGUAGE as for a user.
#include <QApplication>
#include <QTabWidget>
#include <cstdio>
#include <string>

#include "config/ldapcnf.h"
#include "gnugettext.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: screenshots OUTPUT_DIR SUFFIX\n");
    return 2;
  }
  SetTranslationDirectory(PX_BINARY_DIR "/locale");
  QApplication app(argc, argv);

  // A plausible record; the password is shown as the dialog shows it, one star per character.
  CLDAPProfileData data;
  data.DisplayName = "Example Company Directory";
  data.ShowNamesBy = 0;
  data.Comment = "Staff directory of the head office.";
  data.ServerName = "ldap.example.com";
  data.UseSSL = true;
  data.UseVersion3 = true;
  data.Authenticate = true;
  data.BindDN = "cn=reader,dc=example,dc=com";
  data.Password = "not-a-real-password";
  data.SearchDN = "ou=people,dc=example,dc=com";
  data.SearchString = "(&(objectClass=inetOrgPerson)(mail=*))";
  data.DeepSearch = true;
  data.TimeOut = 60;
  data.CacheFileName = "/home/user/.cache/pernix/cache00.pxb";

  TFormLDAPConfig form;
  form.SetCaption("Pernix LDAP Address Book");
  form.LoadControls(data);
  form.show();
  auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl"));
  const char* names[] = {"general", "connection", "search", "schema", "about"};
  for (int page = 0; page < pages->count(); ++page) {
    pages->setCurrentIndex(page);
    QApplication::processEvents();
    const std::string file = std::string(argv[1]) + "/config-" + names[page] + "-" + argv[2] + ".png";
    if (!form.grab().save(QString::fromStdString(file), "PNG")) {
      std::fprintf(stderr, "screenshots: cannot write %s\n", file.c_str());
      return 1;
    }
    std::printf("%s\n", file.c_str());
  }
  return 0;
}
