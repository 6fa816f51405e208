// Notices that slide out of the panel's corner, stay a few seconds and slide back, stacked when several
// are up, without ever taking the keyboard focus. TTrayPopUp makes one TfrmTrayPopUp per notice.
#pragma once

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QFrame;
class QLabel;
class QTimer;
class TMouseLabel;

enum TOrientation { mbHorizontal, mbVertical };
enum TTrayImageDrawMethod { dmActualSize, dmTile, dmFit };
enum TDefaultMonitor { dmDesktop, dmPrimary, dmMainForm, dmActiveForm };
enum TTrayPopupOption {
    tpAutoOpenURL = 1,
    tpSystemFont = 2,
    tpCascadePopups = 4,
    tpAllowScroll = 8,
    tpAllowHyperlink = 16,
};
Q_DECLARE_FLAGS(TTrayPopupOptions, TTrayPopupOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TTrayPopupOptions)

// A face with its colour, as a notice's three texts use them.
struct TPopupFont
{
    QFont Font;
    QColor Color = Qt::black;
};

// Channel by channel from `c1` at 0 to `c2` at `n`: c1 + (c2 - c1) * i / n, rounded, kept to 8 bits.
QColor GradientColorAt(const QColor& c1, const QColor& c2, int i, int n);

// The coloured strip along a notice's bottom edge, 138 by 3 pixels.
QImage StripBitmap();

class TfrmTrayPopUp;

class TTrayPopUp final : public QObject
{
public:
    // The notices belong to `owner` and go with it.
    explicit TTrayPopUp(QWidget& owner);
    ~TTrayPopUp() override;

    // One more notice with the current settings; false when no further one fits on the screen.
    bool ShowPopUp();

    int PopupCount() const { return m_stack->Count; }
    int NextPopupOffset() const { return m_stack->NextOffset; }
    int LastTaskbarEdge() const { return m_stack->LastTaskbarEdge; }
    // From now on the notices of this component and of `other` form one stack, so neither covers the other's.
    void ShareStack(const TTrayPopUp& other) { m_stack = other.m_stack; }
    static int GetTaskbarEdge();
    // The notices that are still up, oldest first.
    std::vector<TfrmTrayPopUp*> Windows() const;

    QString Text = QStringLiteral("text");
    QString URL = QStringLiteral("http://localhost/");
    QString Title = QStringLiteral("title");
    QImage IconBitmap;
    int IconLeft = 8;
    int IconTop = 8;
    int TimeOut = 10;
    int Width = 148;
    int Height = 121;
    QColor GradientColor1 {153, 204, 255};
    QColor GradientColor2 {255, 255, 255};
    TOrientation GradientOrientation = mbVertical;
    int ScrollSpeed = 9; // pixels per step, 1 to 50
    TPopupFont Font;
    TPopupFont HoverFont;
    TPopupFont TitleFont;
    TTrayPopupOptions Options = TTrayPopupOptions(tpAutoOpenURL) | tpCascadePopups | tpAllowScroll | tpAllowHyperlink;
    Qt::Alignment TextAlignment = Qt::AlignHCenter;
    Qt::CursorShape TextCursor = Qt::ArrowCursor;
    QImage BackgroundImage;
    TTrayImageDrawMethod BackgroundDrawMethod = dmActualSize;
    int PopupStartX = 16;
    int PopupStartY = 2;
    int PopupMarge = 2;
    TDefaultMonitor DefaultMonitor = dmDesktop;

    // Sender is the notice for a click on its text without a link, the component otherwise.
    std::function<void(QObject& Sender)> OnClick;
    std::function<void(QObject& Sender, const QString& URL)> OnURLClick;

private:
    friend class TfrmTrayPopUp;

    QWidget& m_owner;
    std::vector<QPointer<TfrmTrayPopUp>> m_windows;
    // The counters of a stack of notices, shared by the components that stack together.
    struct TPopupStack
    {
        int Count = 0;
        int NextOffset = 0;
        int LastTaskbarEdge = 0;
    };
    std::shared_ptr<TPopupStack> m_stack = std::make_shared<TPopupStack>();
};

class TfrmTrayPopUp final : public QWidget
{
public:
    TfrmTrayPopUp(TTrayPopUp& component, QWidget& owner);

    void PlaceAndShow();
    void LayoutText();
    void tmrScrollTimer();
    void tmrExitTimer();
    void tmrScrollDownTimer();
    // Closes the notice: freed at once unless a click handler is still running.
    void CloseNotice();

    QFrame* pnlBorder;
    QLabel* imgGradient;
    QLabel* imgIcon;
    TMouseLabel* lblText;
    TMouseLabel* lblTitle;
    QLabel* imgStrip;
    QTimer* tmrExit;
    QTimer* tmrScroll;
    QTimer* tmrScrollDown;

    int CreationOffset = 0;
    bool AllowFree = true;
    int Edge() const { return m_edge; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void paintBackground();
    void setTextFont(const TPopupFont& font);
    void textMouseUp(Qt::MouseButton button, bool inside);
    void backgroundClick();

    QPointer<TTrayPopUp> m_component;
    QString m_text;
    QString m_url;
    QString m_title;
    int m_timeOut;
    int m_scrollSpeed;
    bool m_allowScroll;
    bool m_allowHyperlink;
    QColor m_color1;
    QColor m_color2;
    TOrientation m_orientation;
    TTrayImageDrawMethod m_drawMethod;
    TDefaultMonitor m_defaultMonitor;
    int m_fullWidth;
    int m_fullHeight;
    int m_edge = 3;
    bool m_freed = false;
};
