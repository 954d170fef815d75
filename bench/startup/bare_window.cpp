// The least a Qt Widgets program does to show a window: start, show one empty window of the
// discovery window's size, and quit as soon as it has painted. bench_startup's baseline.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

class QuitAfterPaint : public QObject {
public:
    explicit QuitAfterPaint(QWidget* window) : m_window(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            QTimer::singleShot(0, m_window, &QWidget::close);
        }
        return false;
    }

private:
    QWidget* m_window;
    bool m_done = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(600, 400);
    QuitAfterPaint quit(&window);
    window.installEventFilter(&quit);
    window.show();
    return app.exec();
}
