#include "programgrop.h"

#include "config.h"
#include "netipset.h"
#include "ui_ProgramGrop.h"

#include <QProcess>

ProgramGrop::ProgramGrop(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::ProgramGrop>()) {
  ui->setupUi(this);
  connect(ui->pushButton, &QPushButton::clicked, this, &ProgramGrop::on_pushButton_clicked);
  connect(ui->pushButton_2, &QPushButton::clicked, this, &ProgramGrop::on_pushButton_2_clicked);
}

ProgramGrop::~ProgramGrop() = default;

void ProgramGrop::on_pushButton_clicked() {
  // The constructor searches the bus and reads the printer before it returns.
  auto* window = new netIpSet;
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowModality(Qt::ApplicationModal);
  window->setWindowFlags(window->windowFlags() | Qt::Dialog);
  window->show();
}

void ProgramGrop::on_pushButton_2_clicked() {
  // No event processing while the viewer runs; a viewer that cannot be
  // started returns at once.
  QProcess::execute(QString::fromUtf8(hrv::kPdfReader), {QString::fromUtf8(hrv::kGuidePdf)});
}
