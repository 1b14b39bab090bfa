// The tool bar of every window. It swallows the private event number 0x900 that the
// windows' tool bars must never act on.
#pragma once

#include <QEvent>
#include <QToolBar>

class TXPToolBar : public QToolBar {
  Q_OBJECT

 public:
  static constexpr QEvent::Type kDroppedEvent = static_cast<QEvent::Type>(0x900);
  explicit TXPToolBar(QWidget *parent = nullptr) : QToolBar(parent) {}

 protected:
  bool event(QEvent *e) override;
};
