// mkguide: lays out the user guide (HTML source, Chinese and English) with
// the CJK font and writes it as an A4 PDF.
//
//   mkguide SOURCE.html OUTPUT.pdf FONT-FAMILY
//
// Fails when the font is not installed: without it the Chinese text would
// come out as empty boxes.
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 4) {
    std::fputs("usage: mkguide SOURCE.html OUTPUT.pdf FONT-FAMILY\n", stderr);
    return 2;
  }
  const QString family = args.at(3);
  if (!QFontDatabase().families().contains(family)) {
    std::fprintf(stderr, "mkguide: font family \"%s\" is not installed\n", qPrintable(family));
    return 1;
  }

  QFile source(args.at(1));
  if (!source.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "mkguide: cannot read %s\n", qPrintable(args.at(1)));
    return 1;
  }
  QTextDocument doc;
  doc.setDefaultFont(QFont(family, 10));
  doc.setHtml(QString::fromUtf8(source.readAll()));

  QPdfWriter pdf(args.at(2));
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
  pdf.setResolution(300);
  pdf.setTitle(doc.metaInformation(QTextDocument::DocumentTitle));
  pdf.setCreator(QStringLiteral("HRV5720ZWB driver suite"));
  doc.print(&pdf);

  QFile written(args.at(2));
  if (!written.exists() || written.size() == 0) {
    std::fprintf(stderr, "mkguide: nothing written to %s\n", qPrintable(args.at(2)));
    return 1;
  }
  return 0;
}
