#include "ui/about_dlg.h"

#include "platform/shell_open.h"
#include "ui/form_style.h"
#include "ui/tool_window.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVariantAnimation>
#include <QWindow>

#include <algorithm>
#include <optional>

namespace {

// The dialog's client width: 410 pixels of window less its frame.
constexpr int ClientWidth = 404;
constexpr int ColumnLeft = 60;
constexpr int AnimationMs = 180;

// Text pressed into the dialog: a highlight one pixel down and right, the shadow colour on top.
class TEngravedLabel final : public QWidget
{
public:
    TEngravedLabel(const QString& text, QWidget* parent)
        : QWidget(parent)
        , m_text(text)
    {
        setAccessibleName(text);
    }
    QString text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setFont(font());
        const QRect box = rect().adjusted(0, 0, -1, -1);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(box.translated(1, 1), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_text);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_text);
    }

private:
    QString m_text;
};

// A blue, underlined line that hands its address to the desktop when clicked, and greys out for good once the
// desktop could not open it (no mail program, say).
class TLinkLabel final : public QLabel
{
public:
    TLinkLabel(const QString& text, std::string target, QWidget* parent)
        : QLabel(text, parent)
        , m_target(std::move(target))
    {
        QFont underlined = font();
        underlined.setUnderline(true);
        setFont(underlined);
        QPalette blue = palette();
        // Blue while it works; disabled, the style's grey.
        for (const auto group : {QPalette::Active, QPalette::Inactive})
            blue.setColor(group, QPalette::WindowText, QColor(0, 0, 255));
        setPalette(blue);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            // The outcome may come from another thread, after the box is gone.
            ShellOpener().OpenAndReport(m_target, [link = QPointer<TLinkLabel>(this)](bool opened) {
                if (!opened)
                    QMetaObject::invokeMethod(qApp, [link] {
                        if (link) {
                            link->setEnabled(false);
                            link->unsetCursor();
                        }
                    });
            });
        }
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::string m_target;
};

// The box's own caption bar, painted with a gradient, which a window manager's title bar could not be: it
// shows the title, moves the box when dragged and closes it with its button.
class TCaptionBar final : public QWidget
{
public:
    TCaptionBar(const QString& title, QDialog* dialog)
        : QWidget(dialog)
        , m_title(title)
    {
        setObjectName(QStringLiteral("CaptionBar"));
        QFont bold = font();
        bold.setBold(true);
        setFont(bold);
        auto* close = new QToolButton(this);
        close->setObjectName(QStringLiteral("CaptionClose"));
        close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
        close->setAutoRaise(true);
        close->setFocusPolicy(Qt::NoFocus);
        QObject::connect(close, &QToolButton::clicked, dialog, &QDialog::reject);
        m_close = close;
        // The window's activation reaches the window, not always its children: the bar listens there.
        dialog->installEventFilter(this);
    }

    QString title() const { return m_title; }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        const int side = height() - 4;
        m_close->setGeometry(width() - side - 2, 2, side, side);
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const bool active = isActiveWindow();
        const QColor start = active ? palette().color(QPalette::Active, QPalette::Highlight)
                                    : palette().color(QPalette::Inactive, QPalette::Dark);
        QLinearGradient fill(rect().topLeft(), rect().topRight());
        fill.setColorAt(0, start);
        fill.setColorAt(1, start.lighter(active ? 170 : 140));
        painter.fillRect(rect(), fill);
        painter.setPen(active ? palette().color(QPalette::Active, QPalette::HighlightedText)
                              : palette().color(QPalette::Inactive, QPalette::Light));
        painter.drawText(rect().adjusted(4, 0, -height(), 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         m_title);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate
            || event->type() == QEvent::ActivationChange)
            update();
        return QWidget::eventFilter(watched, event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        // The window manager moves the box; without one, the drag below does.
        QWindow* handle = window()->windowHandle();
        m_dragFrom = handle && handle->startSystemMove()
            ? std::nullopt
            : std::optional<QPoint>(event->globalPosition().toPoint() - window()->pos());
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_dragFrom && (event->buttons() & Qt::LeftButton))
            window()->move(event->globalPosition().toPoint() - *m_dragFrom);
    }

    void mouseReleaseEvent(QMouseEvent*) override { m_dragFrom.reset(); }

private:
    QString m_title;
    QToolButton* m_close = nullptr;
    std::optional<QPoint> m_dragFrom;
};

// A frame two pixels wide on the desktop, drawn above everything and passing the mouse through.
class TOutline final : public QWidget
{
public:
    TOutline()
        : QWidget(nullptr,
                  Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_ShowWithoutActivating);
        QPalette dark = palette();
        dark.setColor(QPalette::Window, palette().color(QPalette::Shadow));
        setPalette(dark);
        setAutoFillBackground(true);
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        setMask(QRegion(rect()).subtracted(QRegion(rect().adjusted(2, 2, -2, -2))));
    }
};

} // namespace

std::unique_ptr<QDialog> TAboutDlg::CreateDialog(QWidget* parent) const
{
    // With the caption filled, the box draws its own caption and frame; the lines sit in the client below.
    const Qt::WindowFlags decoration = CaptionFill
        ? Qt::WindowFlags(Qt::FramelessWindowHint)
        : Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    auto dialog = std::make_unique<QDialog>(parent, Qt::Dialog | decoration);
    dialog->setObjectName(QStringLiteral("about"));
    dialog->setWindowTitle(CaptionTitle);
    dialog->setFont(FormFont());
    const int columnWidth = ClientWidth - 70;

    int captionHeight = 0;
    if (CaptionFill) {
        auto* frame = new QFrame(dialog.get());
        frame->setObjectName(QStringLiteral("Frame"));
        frame->setFrameStyle(QFrame::WinPanel | QFrame::Raised);
        auto* caption = new TCaptionBar(CaptionTitle, dialog.get());
        captionHeight = std::max(18, caption->fontMetrics().height() + 6);
        caption->setGeometry(2, 2, ClientWidth - 4, captionHeight);
        captionHeight += 2;
    }
    auto* client = new QWidget(dialog.get());
    client->setObjectName(QStringLiteral("Client"));

    auto* icon = new QLabel(client);
    icon->setObjectName(QStringLiteral("Icon"));
    icon->setPixmap(QApplication::windowIcon().pixmap(QSize(32, 32), dialog->devicePixelRatioF()));
    icon->setGeometry(13, 7, 32, 32);

    int y = 12;
    auto place = [&](QWidget* line, const char* name, int height, int gap) {
        line->setObjectName(QLatin1String(name));
        line->setGeometry(ColumnLeft, y, columnWidth, height);
        y += height + gap;
    };
    auto text = [&](const QString& caption, const char* name, bool bold, int gap) {
        auto* label = new QLabel(caption, client);
        QFont font = dialog->font();
        font.setBold(bold);
        label->setFont(font);
        place(label, name, label->sizeHint().height(), gap);
    };
    auto link = [&](const QString& caption, std::string target, const char* name, int gap) {
        if (caption.isEmpty()) {
            y += gap;
            return;
        }
        auto* label = new TLinkLabel(caption, std::move(target), client);
        place(label, name, label->sizeHint().height(), gap);
    };

    auto* title = new TEngravedLabel(Appname, client);
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPointSize(AppNameSize);
    titleFont.setBold(true);
    title->setFont(titleFont);
    place(title, "Appname", QFontMetrics(titleFont, client).height() + 1, 10);
    y = std::max(y, 66);
    text(Version, "Version", true, 4);
    text(Description, "Description", false, 24);
    text(Copyright, "Copyright", false, 1);
    link(Jump, Jump.toStdString(), "Jump", EMail.isEmpty() ? 6 : 3);
    link(EMail, "mailto:" + EMail.toStdString(), "EMail", 6);

    auto* line = new QFrame(client);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    place(line, "Separator", 2, 9);

    const TSystemInfo info = SystemInfo ? SystemInfo() : TSystemInfo {};
    auto* names = new QLabel(QStringLiteral("Available Memory:\nPlatform, CPU:"), client);
    names->setObjectName(QStringLiteral("SystemNames"));
    names->adjustSize();
    // A few pixels apart, so a figure never touches its name.
    names->setGeometry(ColumnLeft, y, names->width() + 6, names->height());
    auto* values = new QLabel(QString::fromStdString(MemoryText(info) + "\n" + ProcessorText(info)), client);
    values->setObjectName(QStringLiteral("SystemValues"));
    // Processor names are long ("... CPU @ 1.90GHz"): the line wraps within the column rather than lose its end.
    values->setWordWrap(true);
    const int valuesWidth = ColumnLeft + columnWidth - names->geometry().right() - 1;
    values->setGeometry(names->geometry().right() + 1, y, valuesWidth, values->heightForWidth(valuesWidth));
    y += std::max(names->height(), values->height()) + 24;

    auto button = [&](const QString& caption, const char* name, int right) {
        auto* b = new QPushButton(caption, client);
        b->setObjectName(QLatin1String(name));
        const QSize size(std::max(75, b->sizeHint().width()), std::max(25, b->sizeHint().height()));
        b->setGeometry(right - size.width(), y, size.width(), size.height());
        return b;
    };
    QPushButton* ok = button(QStringLiteral("OK"), "OK", ClientWidth - 6);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog.get(), &QDialog::accept);
    int bottom = ok->geometry().bottom();
    if (!CustomButton.isEmpty()) {
        QPushButton* custom = button(CustomButton, "CustomButton", ok->x() - 6);
        custom->setAutoDefault(false);
        QObject::connect(custom, &QPushButton::clicked, dialog.get(), [this] {
            if (OnCustomClick)
                OnCustomClick();
        });
    }
    client->setGeometry(0, captionHeight, ClientWidth, bottom + 1 + 6);
    dialog->setFixedSize(ClientWidth, captionHeight + client->height());
    if (auto* frame = dialog->findChild<QFrame*>(QStringLiteral("Frame"), Qt::FindDirectChildrenOnly)) {
        frame->setGeometry(dialog->rect());
        frame->lower();
    }

    // Centred on the screen, as the box always opens.
    const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());
    return dialog;
}

void TAboutDlg::Execute(QWidget* parent)
{
    if (m_showing)
        return;
    m_showing = true;
    struct Done
    {
        bool& flag;
        ~Done() { flag = false; }
    } done {m_showing};

    const std::unique_ptr<QDialog> dialog = CreateDialog(parent);
    // Above the stay-on-top gadget, and minimised without it.
    KeepAboveTheProgram(dialog.get(), parent);
    if (Effect == TDialogEffect::deExplodeExt) {
        // An outline grows from the pointer to the box; events go on being handled meanwhile.
        TOutline outline;
        QVariantAnimation grow;
        grow.setDuration(AnimationMs);
        grow.setStartValue(QRect(QCursor::pos(), QSize(1, 1)));
        grow.setEndValue(dialog->frameGeometry());
        QObject::connect(&grow, &QVariantAnimation::valueChanged, &outline,
                         [&outline](const QVariant& value) { outline.setGeometry(value.toRect()); });
        QEventLoop wait;
        QObject::connect(&grow, &QVariantAnimation::finished, &wait, &QEventLoop::quit);
        outline.setGeometry(grow.startValue().toRect());
        outline.show();
        grow.start();
        wait.exec();
        outline.hide();
    }
    dialog->exec();
}
