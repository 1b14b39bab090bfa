// A bar between two stacked controls of a vertical layout: dragging it changes the height of
// the visible control above it, which keeps that height as the window is resized.
#pragma once

#include <QWidget>

class TSplitterBar : public QWidget {
  Q_OBJECT

 public:
  explicit TSplitterBar(QWidget *parent = nullptr) : QWidget(parent) {}

 protected:
  void mousePressEvent(QMouseEvent *e) override;
  void mouseMoveEvent(QMouseEvent *e) override;

 private:
  QWidget *Above() const;
  int FStartY = 0;
  int FStartHeight = 0;
};

