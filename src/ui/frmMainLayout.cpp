// The window's placement and layout in twips, and the search box's events.
#include "frmMain.h"

#include "ResultList.h"
#include "ResultModel.h"
#include "Twips.h"
#include "phonebook/ManApp.h"
#include "toolkit/AppInfo.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Virtual-key code of the Down arrow and the shift-state bits handed to the key handler.
constexpr int kKeyDown = 40;
constexpr int kShiftMask = 1;
constexpr int kCtrlMask = 2;
constexpr int kAltMask = 4;

enum class Edge { Top, Left, Width, Height };

// One step of the layout. A value the control cannot take (negative size, not
// a number, out of range) is skipped; the remaining steps still run.
void setEdge(QWidget* widget, Edge edge, double twips, double dpi) {
    if (!std::isfinite(twips))
        return;
    if ((edge == Edge::Width || edge == Edge::Height) && twips < 0)
        return;
    const double pixels = Twips::toPixels(twips, dpi);
    if (pixels < -(INT_MAX / 2) || pixels > INT_MAX / 2)
        return;
    QRect g = widget->geometry();
    switch (edge) {
    case Edge::Top:
        g.moveTop(int(pixels));
        break;
    case Edge::Left:
        g.moveLeft(int(pixels));
        break;
    case Edge::Width:
        g.setWidth(int(pixels));
        break;
    case Edge::Height:
        g.setHeight(int(pixels));
        break;
    }
    widget->setGeometry(g);
}

} // namespace

void frmMain::PlaceWindow() {
    setWindowTitle(AppInfo::ProductName());
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->geometry();
    // The window's outer size covers its frame; before the first show the frame is unknown (0).
    const QSize frame = frameGeometry().size() - geometry().size();
    m_frame = frame;
    m_placedWithoutFrame = frame.isEmpty();
    const int width = area.width() / 4;
    const int height = area.height() / 2;
    if (width > frame.width() && height > frame.height())
        resize(width - frame.width(), height - frame.height());
    move(area.x() + int(area.width() * 0.75), area.y());
    // A hidden window gets its resize event only when shown, but the first
    // search (during load) already needs the list's width.
    if (!isVisible())
        Form_Resize();
}

void frmMain::Form_Resize() {
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    const QRect outer = frameGeometry();
    const float h = float(Twips::fromPixels(outer.height(), dpiY) - 800);
    const double w = Twips::roundEven(Twips::fromPixels(outer.width(), dpiX) - 200);

    setEdge(txtInput, Edge::Top, 50, dpiY);
    setEdge(txtInput, Edge::Left, 50, dpiX);
    setEdge(txtInput, Edge::Width, w, dpiX);
    // 200 twips cut the tails off "g" and "j": as high as the style needs to show the font whole.
    setEdge(txtInput, Edge::Height, std::max(200.0, Twips::fromPixels(txtInput->sizeHint().height(), dpiY)), dpiY);

    const double boxTop = Twips::fromPixels(txtInput->y(), dpiY);
    const double boxHeight = Twips::fromPixels(txtInput->height(), dpiY);
    setEdge(lvwOutput, Edge::Top, boxTop + boxHeight + 50, dpiY);
    setEdge(lvwOutput, Edge::Left, 50, dpiX);
    setEdge(lvwOutput, Edge::Width, w, dpiX);
    setEdge(lvwOutput, Edge::Height, double(h) - boxHeight - 50, dpiY);

    // Without a tray host nothing could bring a hidden window back: it stays
    // minimised in the task bar instead.
    if (isMinimized() && m_trayAvailable && m_trayAvailable()) {
        hide();
        mbHidden = true;
    }
}

std::array<double, 4> frmMain::ColumnWidths(double listWidthTwips) {
    const double w = Twips::roundEven(listWidthTwips);
    std::array<double, 4> widths{};
    for (std::size_t c = 0; c < widths.size(); ++c)
        widths[c] = ResultModel::kWidthShares[c] * w;
    return widths;
}

void frmMain::txtInput_Change() {
    std::shared_ptr<const ManItems> items;
    if (m_manApp)
        items = m_manApp->ManItems();
    m_model->Search(items, txtInput->text());
    showMatches();
}

void frmMain::showMatches() {
    lvwOutput->scrollToTop();

    // Shares of the width inside the frame and beside the scroll bar these
    // rows will need, so the columns fit without a horizontal scroll bar.
    const double dpi = lvwOutput->logicalDpiX();
    const int inner = lvwOutput->innerWidth(m_model->rowCount());
    m_columnTwips = ColumnWidths(Twips::fromPixels(inner, dpi));
    int used = 0;
    const int last = int(m_columnTwips.size()) - 1;
    for (int c = 0; c < last; ++c) {
        const int pixels = int(Twips::toPixels(m_columnTwips[std::size_t(c)], dpi));
        lvwOutput->setColumnWidth(c, pixels);
        used += pixels;
    }
    // The last column ends at the edge: rounding each one could overshoot by a pixel or two.
    lvwOutput->setColumnWidth(last, std::max(inner - used, 0));
}

void frmMain::txtInput_KeyDown(int KeyCode, int Shift) {
    Q_UNUSED(Shift);
    if (KeyCode == kKeyDown)
        lvwOutput->setFocus(Qt::OtherFocusReason);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtInput && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers();
        const int shift = (mods & Qt::ShiftModifier ? kShiftMask : 0) | (mods & Qt::ControlModifier ? kCtrlMask : 0) |
                          (mods & Qt::AltModifier ? kAltMask : 0);
        if (key->key() == Qt::Key_Down)
            txtInput_KeyDown(kKeyDown, shift);
        // Escape starts a new search from an empty box.
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            txtInput->clear();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A new font changes the height the search box needs.
    if (event->type() == QEvent::WindowStateChange || event->type() == QEvent::FontChange)
        Form_Resize();
}

void frmMain::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    frameMayHaveChanged();
}

void frmMain::frameMayHaveChanged() {
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame == m_frame)
        return;
    m_frame = frame;
    if (m_placedWithoutFrame && isVisible())
        PlaceWindow();
    // The outer size changed, the inside did not: lay out for the new outer size.
    Form_Resize();
}

void frmMain::showEvent(QShowEvent* event) {
    // First show and every return from the tray; switching back from another
    // program leaves a moved window where the user put it.
    if (m_placeOnShow) {
        m_placeOnShow = false;
        PlaceWindow();
    }
    focusSearchBox();
    QMainWindow::showEvent(event);
}
