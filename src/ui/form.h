#pragma once

#include <QPointer>
#include <QWidget>

class QPushButton;

namespace brevion {

// Base of every window and dialog: a top-level widget with its load and unload
// handlers. The registry (forms.h) runs Form_Load after creating it and Form_Unload before
// destroying it.
class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);

    virtual void Form_Load() {}
    virtual void Form_Unload() {}

    bool Visible() const { return isVisible(); }
    // The window's position in twips, the unit all window geometry is given in.
    int Left() const;
    int Top() const;
    void Move(int leftTwips, int topTwips);
    // Brings the window to the front of the window stack.
    void ZOrder();

protected:
    // The title-bar close unloads the window; dialogs override this to act as Cancel.
    void closeEvent(QCloseEvent* event) override;
    // Called by the default closeEvent; returns false to refuse closing.
    virtual bool QueryUnload() { return true; }
    // Enter presses the focused button, as Space does; from any other control it presses the
    // window's default button, if it has one. Escape presses the escape button.
    void keyPressEvent(QKeyEvent* event) override;
    // The button Escape presses while it is visible and enabled: a dialog's Cancel, or its only
    // button. Windows without one ignore Escape.
    void SetEscapeButton(QPushButton* button);

private:
    QPointer<QPushButton> m_escapeButton;
};

} // namespace brevion
