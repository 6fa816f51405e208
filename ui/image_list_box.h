// The status list: one row per resource, a status image followed by the resource's file name.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QMenu>
#include <QPointer>
#include <QStaticText>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class TImageList;
class TImageListBox;

class TImageItem final
{
public:
    // The text laid out in `font` for drawing.
    const QStaticText& Layout(const QFont& font) const;

    const QString& Text() const { return m_text; }
    // A new text repaints the list; the same text does nothing.
    void SetText(const QString& text);

    int ImageIndex() const { return m_imageIndex; }
    // A new index repaints the whole list; the same index does nothing.
    void SetImageIndex(int index);

private:
    friend class TImageItems;
    friend class TImageListBox;
    TImageItem(TImageListBox* owner, QString text)
        : m_owner(owner)
        , m_text(std::move(text))
    { }

    TImageListBox* m_owner;
    QString m_text;
    int m_imageIndex = -1;
    // Laid out once and redrawn from the layout: a cycle repaints the list after every echo.
    mutable QStaticText m_layout;
    mutable bool m_laidOut = false;
};

// The rows of a TImageListBox, in display order.
class TImageItems final
{
public:
    explicit TImageItems(TImageListBox* owner)
        : m_owner(owner)
    { }

    void Clear();
    void Add(const QString& text);
    // Clear() and Add() of each, with one repaint for all: a list of thousands is built at once.
    void Assign(const std::vector<QString>& texts);
    int Count() const { return static_cast<int>(m_items.size()); }

    // Raises EListIndexError for a row that does not exist.
    TImageItem& operator[](int index);
    const TImageItem& operator[](int index) const;

private:
    TImageListBox* m_owner;
    std::vector<TImageItem> m_items;
};

class TImageListBox final : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TImageListBox(QWidget* parent = nullptr);
    ~TImageListBox() override;

    TImageItems& Items() { return m_items; }
    const TImageItems& Items() const { return m_items; }

    // The selected row, or -1.
    int ItemIndex() const { return m_itemIndex; }
    void SetItemIndex(int index);
    // The row shown at the top; the list scrolls by whole rows.
    int TopIndex() const;

    const TImageList* Images() const { return m_images; }
    void SetImages(const TImageList* images);

    int ItemHeight() const { return m_itemHeight; }
    // Raises the row height; never lowers it below what the font and images need.
    void SetItemHeight(int height);

    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }

    QColor Color() const;
    QColor ColorHighlight() const;
    QColor ColorHighlightText() const;

    // Fired on a double click on the list.
    std::function<void()> OnDblClick;

    // Asked to show the tip of `row` once the pointer has rested on it (its area given in screen coordinates),
    // at once for the next row when the pointer moves on while a tip shows, and with -1 when the tip must go.
    std::function<void(int row, const QRect& area)> OnRowTip;
    // The row whose tip shows, or -1.
    int TipRow() const { return m_tipRow; }
    // The rows or what they stand for changed: a tip that shows is asked for again, for the row now under the
    // pointer. Coalesced and deferred, so a refresh that rebuilds the list asks once, with the new rows.
    void RefreshRowTip();
    // Takes the tip away, as a click, a key, the wheel or the pointer leaving does.
    void EndRowTip();
    // How long the pointer rests before a tip shows; the desktop's tooltip delay unless set.
    int TipDelay() const { return m_tipTimer.interval(); }
    void SetTipDelay(int ms) { m_tipTimer.setInterval(ms); }

    // How many repaints have been requested; tests use it to check the repaint rules.
    int RepaintRequests() const { return m_repaintRequests; }

    // Paints row `index` into `rect` the way the list draws it.
    void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const;

    // Asks for a repaint of the whole control.
    void RequestRepaint(bool rowsChanged = true);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void recomputeItemHeight();
    void updateScrollRange();
    int wholeRowsInView() const;
    int rowAt(int y) const;
    void ensureVisible(int index);
    void showTip(int row);

    TImageItems m_items;
    const TImageList* m_images = nullptr;
    QPointer<QMenu> m_popupMenu;
    int m_itemIndex = -1;
    int m_itemHeight = 0;
    int m_repaintRequests = 0;
    bool m_destroying = false;
    QTimer m_tipTimer;
    QPoint m_pointer {-1, -1}; // in the viewport, while it is there
    int m_tipRow = -1;
    bool m_tipRefreshQueued = false;
};
