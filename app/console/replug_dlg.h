// The re-plug prompt on template 106: a popup without caption and with a
// dialog frame, holding one centred text (control 1012) that asks the user
// to unplug and plug the drive again. It stays above other windows without
// taking the focus.
#pragma once
#include <QDialog>
#include <QLabel>

inline constexpr int kReplugTextId = 1012;

class CReplugDlg : public QDialog {
 public:
  explicit CReplugDlg(QWidget* parent = nullptr);

  // Sets control 1012 to string 18.
  void OnInitDialog();
  // Shows the prompt topmost without activating, moving or resizing it.
  void ShowTopmost();
  QLabel* Text() const { return m_text; }

 private:
  QLabel* m_text = nullptr;
};
