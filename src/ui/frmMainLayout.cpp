// The window's placement and layout in twips, and the search box's events.
#include "frmMain.h"

#include "ResultList.h"
#include "ResultModel.h"
#include "Twips.h"
#include "phonebook/ManApp.h"
#include "toolkit/AppInfo.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>
#include <optional>

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

using Columns = std::array<int, kShownFields.size()>;

// Pixel widths of the columns in `inner` pixels when a share would cut the
// texts of its column: that column gets what its texts need, and the others
// share what is left as before. Nothing when the shares serve, or when the
// needs do not fit together.
std::optional<Columns> widenedColumns(int inner, const Columns& needs) {
    std::array<bool, kShownFields.size()> widened{};
    for (;;) {
        int left = inner;
        double shares = 0;
        for (std::size_t c = 0; c < needs.size(); ++c)
            widened[c] ? left -= needs[c] : shares += ResultModel::kWidthShares[c];
        if (left < 0)
            return std::nullopt;
        const auto shareOf = [&](std::size_t c) {
            return int(std::nearbyint(left * ResultModel::kWidthShares[c] / shares));
        };
        std::size_t cut = 0;
        while (cut < needs.size() && (widened[cut] || shareOf(cut) >= needs[cut]))
            ++cut;
        if (cut == needs.size()) {
            if (std::none_of(widened.begin(), widened.end(), [](bool w) { return w; }))
                return std::nullopt;
            Columns widths{};
            for (std::size_t c = 0; c < needs.size(); ++c)
                widths[c] = widened[c] ? needs[c] : shareOf(c);
            return widths;
        }
        widened[cut] = true;
    }
}

} // namespace

void frmMain::PlaceWindow() {
    setWindowTitle(AppInfo::ProductName());
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->geometry();
    const QRect available = s->availableGeometry();
    // The window's outer size covers its frame; before the first show the frame is unknown (0).
    const QSize frame = frameGeometry().size() - geometry().size();
    m_frame = frame;
    m_placedWithoutFrame = frame.isEmpty();
    updateMinimumSize();
    // A quarter of the screen, unless the texts need more; never more than the screen offers.
    const int width = std::min(std::max(area.width() / 4, minimumWidth() + frame.width()), available.width());
    const int height = std::min(std::max(area.height() / 2, minimumHeight() + frame.height()), available.height());
    if (width > frame.width() && height > frame.height())
        resize(width - frame.width(), height - frame.height());
    // A window wider than the quarter keeps its right edge on the screen.
    move(std::min(area.x() + int(area.width() * 0.75), available.x() + available.width() - width), area.y());
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

std::array<double, kShownFields.size()> frmMain::ColumnWidths(double listWidthTwips) {
    const double w = Twips::roundEven(listWidthTwips);
    std::array<double, kShownFields.size()> widths{};
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
    fitColumns();
}

Columns frmMain::columnNeeds(bool least) const {
    const QFontMetrics metrics = lvwOutput->fontMetrics();
    const auto width = [&metrics](QStringView text) { return metrics.horizontalAdvance(text.toString()); };
    const Directory::Longest& longest = m_model->directory().LongestTexts();
    Columns texts{};
    for (std::size_t c = 0; c < texts.size(); ++c) {
        const ShownField& shown = kShownFields[c];
        const int leastWidth = width(shown.leastText);
        if (least)
            texts[c] = leastWidth;
        else if (shown.field == EntryField::Name) // a longer name is cut rather than widen its column
            texts[c] = std::min(width(longest[indexOf(shown.field)]), leastWidth);
        else
            texts[c] = width(longest[indexOf(shown.field)]);
    }
    // The item delegate leaves a margin on either side of a cell's text.
    const int margins = 2 * (lvwOutput->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lvwOutput) + 1);
    Columns needs{};
    for (std::size_t c = 0; c < needs.size(); ++c)
        needs[c] = std::max(texts[c] + margins, lvwOutput->horizontalHeader()->sectionSizeHint(int(c)));
    return needs;
}

void frmMain::fitColumns() {
    // Shares of the width inside the frame and beside the scroll bar these
    // rows will need, so the columns fit without a horizontal scroll bar.
    const double dpi = lvwOutput->logicalDpiX();
    const int inner = lvwOutput->innerWidth(m_model->rowCount());
    m_columnTwips = ColumnWidths(Twips::fromPixels(inner, dpi));
    Columns pixels{};
    for (std::size_t c = 0; c < pixels.size(); ++c)
        pixels[c] = int(Twips::toPixels(m_columnTwips[c], dpi));

    // Measuring texts costs more than a search: done again only for a new load or font.
    const quint64 load = m_model->directory().LoadNumber();
    if (!m_columnNeedsValid || m_columnNeedsLoad != load) {
        m_columnNeeds = columnNeeds();
        m_columnNeedsLoad = load;
        m_columnNeedsValid = true;
    }
    if (const auto widened = widenedColumns(inner, m_columnNeeds)) {
        pixels = *widened;
        for (std::size_t c = 0; c < pixels.size(); ++c)
            m_columnTwips[c] = Twips::fromPixels(pixels[c], dpi);
    }

    int used = 0;
    const int last = int(pixels.size()) - 1;
    for (int c = 0; c < last; ++c) {
        lvwOutput->setColumnWidth(c, pixels[std::size_t(c)]);
        used += pixels[std::size_t(c)];
    }
    // The last column ends at the edge: rounding each one could overshoot by a pixel or two.
    lvwOutput->setColumnWidth(last, std::max(inner - used, 0));
}

void frmMain::updateMinimumSize() {
    // Room for the texts of one row in every column, the list's frame and
    // scroll bar, and the margins of the layout; three rows high.
    const Columns needs = columnNeeds(true);
    const double dpiX = logicalDpiX();
    const double dpiY = logicalDpiY();
    const int list = std::accumulate(needs.begin(), needs.end(), 0) + 2 * lvwOutput->frameWidth() +
                     lvwOutput->verticalScrollBar()->sizeHint().width();
    const int rows = lvwOutput->horizontalHeader()->sizeHint().height() +
                     3 * lvwOutput->verticalHeader()->defaultSectionSize() + 2 * lvwOutput->frameWidth();
    const int box = std::max(int(Twips::toPixels(200, dpiY)), txtInput->sizeHint().height());
    QSize outer(list + int(Twips::toPixels(200, dpiX)), int(Twips::toPixels(800 + 50, dpiY)) + box + rows);
    if (const QScreen* s = screen())
        outer = outer.boundedTo(s->availableGeometry().size());
    setMinimumSize((outer - m_frame).expandedTo(QSize(0, 0)));
}

void frmMain::txtInput_KeyDown(int KeyCode, int Shift) {
    Q_UNUSED(Shift);
    if (KeyCode != kKeyDown)
        return;
    lvwOutput->setFocus(Qt::OtherFocusReason);
    // The first row is chosen, so the list shows where Down went.
    if (m_model->rowCount() > 0 && !lvwOutput->selectionModel()->hasSelection())
        lvwOutput->selectionModel()->setCurrentIndex(m_model->index(0, 0),
                                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// In the list, typing goes on in the search box; Up from the first row and
// Escape go back to it, its text selected.
bool frmMain::listKeyPress(const QKeyEvent* key) {
    if (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))
        return false; // Ctrl+C and other shortcuts stay the list's
    if (key->key() == Qt::Key_Escape || (key->key() == Qt::Key_Up && lvwOutput->currentIndex().row() <= 0)) {
        focusSearchBox();
        return true;
    }
    const QString text = key->text();
    if (key->key() != Qt::Key_Backspace && (text.isEmpty() || !text.front().isPrint()))
        return false;
    txtInput->setFocus(Qt::OtherFocusReason);
    txtInput->end(false);
    QKeyEvent again(key->type(), key->key(), key->modifiers(), text, key->isAutoRepeat(), key->count());
    QCoreApplication::sendEvent(txtInput, &again);
    return true;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lvwOutput) {
        if (event->type() == QEvent::KeyPress && listKeyPress(static_cast<QKeyEvent*>(event)))
            return true;
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            m_columnNeedsValid = false;
        // Maximised, resized or a new font: the columns keep their shares of the new width.
        if (event->type() == QEvent::Resize || event->type() == QEvent::FontChange)
            fitColumns();
    }
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
    // A new font changes the height the search box needs, and the room the texts need.
    if (event->type() == QEvent::FontChange) {
        m_columnNeedsValid = false;
        updateMinimumSize();
    }
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
    updateMinimumSize();
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
