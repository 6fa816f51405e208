#include "ui/image_list_box.h"

#include "platform/exception.h"
#include "ui/image_list.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace {

// A focus rectangle of alternating pixels, inverted against the box it outlines, as desktop lists draw it.
void drawFocusRect(QPainter& painter, const QRect& box, const QColor& under)
{
    const QColor dot(255 - under.red(), 255 - under.green(), 255 - under.blue());
    painter.save();
    painter.setPen(Qt::NoPen);
    auto plot = [&](int x, int y) {
        if (((x - box.left()) + (y - box.top())) % 2 == 0)
            painter.fillRect(x, y, 1, 1, dot);
    };
    for (int x = box.left(); x <= box.right(); ++x) {
        plot(x, box.top());
        plot(x, box.bottom());
    }
    for (int y = box.top() + 1; y < box.bottom(); ++y) {
        plot(box.left(), y);
        plot(box.right(), y);
    }
    painter.restore();
}

} // namespace

const QStaticText& TImageItem::Layout(const QFont& font) const
{
    if (!m_laidOut) {
        // One line, whatever the file name holds.
        QString line = m_text;
        line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        m_layout.setText(line);
        m_layout.setTextFormat(Qt::PlainText);
        m_layout.setPerformanceHint(QStaticText::AggressiveCaching);
        m_layout.prepare(QTransform(), font);
        m_laidOut = true;
    }
    return m_layout;
}

void TImageItem::SetText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    m_laidOut = false;
    m_owner->RequestRepaint();
    m_owner->RefreshRowTip();
}

void TImageItem::SetImageIndex(int index)
{
    if (index == m_imageIndex)
        return;
    m_imageIndex = index;
    // The rows stay as many: the scroll range needs no new look.
    m_owner->RequestRepaint(false);
}

void TImageItems::Clear()
{
    if (m_items.empty())
        return;
    m_items.clear();
    m_owner->SetItemIndex(-1);
    m_owner->RequestRepaint();
    m_owner->RefreshRowTip();
}

void TImageItems::Add(const QString& text)
{
    m_items.push_back(TImageItem(m_owner, text));
    m_owner->RequestRepaint();
    m_owner->RefreshRowTip();
}

void TImageItems::Assign(const std::vector<QString>& texts)
{
    Clear();
    if (texts.empty())
        return;
    m_items.reserve(texts.size());
    for (const QString& text : texts)
        m_items.push_back(TImageItem(m_owner, text));
    m_owner->RequestRepaint();
    m_owner->RefreshRowTip();
}

TImageItem& TImageItems::operator[](int index)
{
    if (index < 0 || index >= Count())
        throw EListIndexError(index);
    return m_items[static_cast<size_t>(index)];
}

const TImageItem& TImageItems::operator[](int index) const
{
    if (index < 0 || index >= Count())
        throw EListIndexError(index);
    return m_items[static_cast<size_t>(index)];
}

TImageListBox::TImageListBox(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_items(this)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);
    // Every pixel of the rows is painted here, so nothing beneath needs repainting when a status changes.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The scroll bar counts rows, as a list box's does: an arrow moves one row, a wheel notch the
    // desktop's wheel lines, a page click the rows in view; the top row is always a whole one.
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        EndRowTip();
        viewport()->update();
    });
    // A row's tip comes when the pointer rests on it, as a desktop tooltip does, but also while the gadget
    // is not the active window, which it seldom is.
    viewport()->setMouseTracking(true);
    m_tipTimer.setSingleShot(true);
    m_tipTimer.setInterval(style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, this));
    connect(&m_tipTimer, &QTimer::timeout, this, [this] {
        if (QApplication::mouseButtons() == Qt::NoButton)
            showTip(rowAt(m_pointer.y()));
    });
    // The row height is worked out once the font and images are set: a height taken from a passing
    // default font would never come down again.
}

TImageListBox::~TImageListBox()
{
    m_destroying = true;
    // Whoever shows the tips may be half gone by now; the hide events of teardown must not reach it.
    OnRowTip = nullptr;
}

QColor TImageListBox::Color() const
{
    return palette().color(QPalette::Base);
}
QColor TImageListBox::ColorHighlight() const
{
    return palette().color(QPalette::Highlight);
}
QColor TImageListBox::ColorHighlightText() const
{
    return palette().color(QPalette::HighlightedText);
}

void TImageListBox::SetItemIndex(int index)
{
    if (index < -1 || index >= m_items.Count())
        index = -1;
    if (index == m_itemIndex)
        return;
    m_itemIndex = index;
    ensureVisible(index);
    RequestRepaint();
}

void TImageListBox::SetImages(const TImageList* images)
{
    m_images = images;
    recomputeItemHeight();
    RequestRepaint();
}

void TImageListBox::SetItemHeight(int height)
{
    m_itemHeight = std::max(m_itemHeight, height);
    updateScrollRange();
    RequestRepaint();
}

void TImageListBox::RequestRepaint(bool rowsChanged)
{
    ++m_repaintRequests;
    if (rowsChanged)
        updateScrollRange();
    viewport()->update();
}

void TImageListBox::recomputeItemHeight()
{
    const int imageHeight = m_images ? m_images->Height() : 0;
    const int needed = std::max(fontMetrics().height() + 4, imageHeight);
    m_itemHeight = std::max(m_itemHeight, needed);
    updateScrollRange();
}

int TImageListBox::wholeRowsInView() const
{
    return std::max(1, viewport()->height() / std::max(1, m_itemHeight));
}

int TImageListBox::TopIndex() const
{
    return verticalScrollBar()->value();
}

void TImageListBox::updateScrollRange()
{
    if (m_itemHeight <= 0)
        return;
    // Scrolled to the end, the last row sits whole at the bottom of the rows in view, as in a list box.
    const int rows = wholeRowsInView();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(rows);
    bar->setRange(0, std::max(0, m_items.Count() - rows));
}

int TImageListBox::rowAt(int y) const
{
    if (m_itemHeight <= 0 || y < 0)
        return -1;
    const int row = TopIndex() + y / m_itemHeight;
    return row < m_items.Count() ? row : -1;
}

void TImageListBox::ensureVisible(int index)
{
    if (index < 0)
        return;
    QScrollBar* bar = verticalScrollBar();
    const int rows = wholeRowsInView();
    if (index < bar->value())
        bar->setValue(index);
    else if (index >= bar->value() + rows)
        bar->setValue(index - rows + 1);
}

void TImageListBox::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const
{
    if (m_destroying)
        return;
    const int L = rect.left();
    const int T = rect.top();
    const int R = rect.left() + rect.width();
    const int B = rect.top() + rect.height();
    painter.setFont(font());
    if (index < 0) {
        painter.fillRect(rect, Color());
        return;
    }
    const TImageItem& item = m_items[index];
    const QColor brush = selected ? ColorHighlight() : Color();
    const QColor pen = selected ? ColorHighlightText() : palette().color(QPalette::Text);

    painter.fillRect(rect, Color());
    int textLeft = L;
    if (m_images) {
        m_images->Draw(painter, L + 2, T + (m_itemHeight - m_images->Height()) / 2, item.ImageIndex());
        textLeft = L + m_images->Width() + 8;
    }
    const QFontMetrics metrics(font());
    // The box hugs the text: 2 pixels before it, 4 after, one pixel inside the row at top and bottom.
    const QRect textBox(QPoint(textLeft - 2, T + 1),
                        QPoint(textLeft + metrics.horizontalAdvance(item.Text()) + 4 - 1, B - 1 - 1));
    const bool drawFocus = selected && Color() != ColorHighlight();
    if (item.Text().isEmpty()) {
        const QRect area(QPoint(textLeft, T), QPoint(R - 1, B - 1));
        painter.fillRect(area, brush);
        if (drawFocus)
            drawFocusRect(painter, area, brush);
        return;
    }
    painter.fillRect(textBox, brush);
    painter.setPen(pen);
    // Plain text on one line: no mnemonic processing, no elision; a long name is cut by the control's edge.
    const int textTop = textBox.top() + (textBox.height() - metrics.height()) / 2;
    painter.drawStaticText(QPoint(textLeft, textTop), item.Layout(font()));
    if (drawFocus)
        drawFocusRect(painter, textBox, brush);
}

void TImageListBox::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    painter.fillRect(area, Color());
    if (m_itemHeight <= 0)
        recomputeItemHeight();
    // Only the rows in view are painted, so a long list costs no more than a short one.
    const int first = TopIndex();
    const int last = std::min(m_items.Count() - 1, first + area.height() / m_itemHeight);
    for (int i = first; i <= last; ++i) {
        const QRect row(0, (i - first) * m_itemHeight, area.width(), m_itemHeight);
        DrawItem(painter, i, row, i == m_itemIndex);
    }
}

void TImageListBox::showTip(int row)
{
    // Never while a menu is open: it holds the pointer, and a tip would hide its items.
    if (row < 0 || !OnRowTip || QApplication::activePopupWidget() || !isVisible()) {
        EndRowTip();
        return;
    }
    m_tipRow = row;
    const QPoint topLeft = viewport()->mapToGlobal(QPoint(0, (row - TopIndex()) * m_itemHeight));
    OnRowTip(row, QRect(topLeft, QSize(viewport()->width(), m_itemHeight)));
}

void TImageListBox::EndRowTip()
{
    m_tipTimer.stop();
    if (m_tipRow < 0)
        return;
    m_tipRow = -1;
    if (OnRowTip)
        OnRowTip(-1, QRect());
}

void TImageListBox::RefreshRowTip()
{
    if (m_tipRow < 0 || m_tipRefreshQueued)
        return;
    m_tipRefreshQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_tipRefreshQueued = false;
        if (m_tipRow >= 0)
            showTip(rowAt(m_pointer.y()));
    });
}

bool TImageListBox::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave || event->type() == QEvent::Hide) {
        m_pointer = QPoint(-1, -1);
        EndRowTip();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void TImageListBox::mouseMoveEvent(QMouseEvent* event)
{
    m_pointer = event->position().toPoint();
    if (event->buttons() != Qt::NoButton) {
        EndRowTip();
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    // Once a tip shows, the next row's follows without a new wait, as tooltips do.
    if (m_tipRow >= 0) {
        if (const int row = rowAt(m_pointer.y()); row != m_tipRow)
            showTip(row);
    } else {
        m_tipTimer.start();
    }
    event->accept();
}

void TImageListBox::mousePressEvent(QMouseEvent* event)
{
    EndRowTip();
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        const int row = rowAt(event->position().toPoint().y());
        if (row >= 0)
            SetItemIndex(row);
    }
    event->accept();
}

void TImageListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    EndRowTip();
    if (event->button() != Qt::LeftButton)
        return;
    if (const int row = rowAt(event->position().toPoint().y()); row >= 0)
        SetItemIndex(row);
    if (OnDblClick)
        OnDblClick();
}

void TImageListBox::keyPressEvent(QKeyEvent* event)
{
    EndRowTip();
    const int count = m_items.Count();
    const int page = wholeRowsInView();
    int target = m_itemIndex;
    switch (event->key()) {
    case Qt::Key_Up:
        target = std::max(0, m_itemIndex - 1);
        break;
    case Qt::Key_Down:
        target = std::min(count - 1, m_itemIndex + 1);
        break;
    case Qt::Key_PageUp:
        target = std::max(0, m_itemIndex - page);
        break;
    case Qt::Key_PageDown:
        target = std::min(count - 1, m_itemIndex + page);
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = count - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (count > 0)
        SetItemIndex(target);
}

void TImageListBox::wheelEvent(QWheelEvent* event)
{
    EndRowTip();
    QAbstractScrollArea::wheelEvent(event);
}

void TImageListBox::contextMenuEvent(QContextMenuEvent* event)
{
    EndRowTip();
    if (m_popupMenu)
        m_popupMenu->popup(event->globalPos());
}

void TImageListBox::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
    RequestRepaint();
}

void TImageListBox::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        for (int i = 0; i < m_items.Count(); ++i)
            m_items[i].m_laidOut = false;
        recomputeItemHeight();
        RequestRepaint();
    }
}
