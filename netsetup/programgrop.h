// The launcher of the network setup tool: opens the setup window and the
// printer's user guide.
#pragma once

#include <QMainWindow>

#include <memory>

namespace Ui {
class ProgramGrop;
}

class ProgramGrop : public QMainWindow {
  Q_OBJECT

 public:
  explicit ProgramGrop(QWidget* parent = nullptr);
  ~ProgramGrop() override;

  // "确定": a new, application-modal setup window (released when closed).
  void on_pushButton_clicked();
  // "帮助文档": runs the guide viewer and waits for it to end.
  void on_pushButton_2_clicked();

 private:
  std::unique_ptr<Ui::ProgramGrop> ui;
};
