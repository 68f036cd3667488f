#include "editing/U_Clip.h"

#include "controls/MrvTrackbar.h"
#include "controls/MyMaskEdit.h"
#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/PromptService.h"
#include "core/U_TreelistFormat.h"
#include "core/U_TreelistModel.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/PlayerControls.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kColumnWidths[] = {150, 130, 130, 129};
constexpr QSize kDisplaySize(539, 303);
constexpr quint32 kOutsideShading = 0xF0208ADE;

QString TimeText(int64_t microseconds) {
    return FormatSeconds(microseconds / 1000000);
}

// The time of "hh:mm:ss" in microseconds; false unless it is three integers.
bool ParseClipTime(const QString& text, int64_t* microseconds) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return false;
    int64_t values[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toLongLong(&ok);
        if (!ok)
            return false;
    }
    *microseconds = (values[0] * 3600 + values[1] * 60 + values[2]) * 1000000;
    return true;
}

} // namespace

int NextClipNumber(const QList<TClipFile>& clips) {
    static const QRegularExpression number(QStringLiteral("^Part_(\\d+)$"));
    int next = 0;
    for (const TClipFile& clip : clips) {
        const QRegularExpressionMatch match = number.match(clip.ClipName);
        if (match.hasMatch())
            next = std::max(next, match.captured(1).toInt() + 1);
    }
    return next;
}

TClipfrm::TClipfrm(TCustomPlayer& player, TJobList& list, TJobRow* owner, QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral("Clip"), FrameSet | ButtonSet | CaptionButtonSet),
      FPlayer(player), FList(list), FOwner(owner) {
    setObjectName(QStringLiteral("Clipfrm"));
    setWindowTitle(QStringLiteral("Clip Video"));
    BuildControls();
    ConnectSeekBar();

    FPlayer.OnFileOpen = [this](QObject*, int64_t duration, int, int, int& width, int& height) {
        PlayerFileOpen(duration, width, height);
    };
    FPlayer.OnPosition = [this](QObject*, int64_t pts) { PlayerPosition(pts); };
    FPlayer.OnState = [this](QObject*, TPlayState state) { PlayerState(state); };
    FPlayer.OnVideoHook = nullptr;
    FPlayer.VideoHook = false;
    CentreOnDesktop(this);
}

TClipfrm::~TClipfrm() {
    // The player outlives the window: nothing of it may reach this window any more, and it
    // lets go of the display, which goes with the window.
    if (!FClosing)
        FPlayer.Close(false);
    FPlayer.OnFileOpen = nullptr;
    FPlayer.OnPosition = nullptr;
    FPlayer.OnState = nullptr;
    // The focus and scroll changes of hiding must not reach a half-destroyed window.
    ItemEdit->MyonExit = nullptr;
    lvCutVideo->viewport()->removeEventFilter(this);
    for (QScrollBar* bar : {lvCutVideo->verticalScrollBar(), lvCutVideo->horizontalScrollBar()})
        disconnect(bar, nullptr, this, nullptr);
    hide();
}

// --- Building ----------------------------------------------------------------------------------

void TClipfrm::BuildControls() {
    auto* column = new QVBoxLayout(Content());
    column->setContentsMargins(14, 10, 14, 12);
    column->setSpacing(6);

    PanelVideo = new TPlayerDisplay(Content());
    PanelVideo->setObjectName(QStringLiteral("PanelVideo"));
    PanelVideo->setFixedSize(kDisplaySize);
    column->addWidget(PanelVideo, 0, Qt::AlignHCenter);

    TrckVideo = new TMrvTrackbar(Content());
    TrckVideo->setObjectName(QStringLiteral("TrckVideo"));
    TrckVideo->setFixedHeight(36);
    TrckVideo->ShowTickColor = false;
    TrckVideo->SetMarginOffsetX(6);
    TrckVideo->TickOffsetY = 13;
    TrckVideo->SetTrackOffsetY(15);
    TrckVideo->SegOffsetY = 15;
    TrckVideo->SetLeftBrushColor(kOutsideShading);
    TrckVideo->SetRightBrushColor(kOutsideShading);
    TrckVideo->SetBGColor(0x00302A26); // the dialog's face, 0x00BBGGRR
    column->addWidget(TrckVideo);

    auto* transport = new QHBoxLayout;
    transport->setSpacing(6);
    btnPlay = MakeTransportButton(Content(), "btnPlay", TMainIcon::Play, QStringLiteral("Play"));
    btnPause =
        MakeTransportButton(Content(), "btnPause", TMainIcon::Pause, QStringLiteral("Pause"));
    btnStop = MakeTransportButton(Content(), "btnStop", TMainIcon::Stop, QStringLiteral("Stop"));
    btnPause->hide();
    btnPlayClip =
        new TPictureButton(QStringLiteral("btnPlayClip"), QStringLiteral("Play Clip"), Content());
    btnmarkin =
        new TPictureButton(QStringLiteral("btnmarkin"), QStringLiteral("Mark in"), Content());
    btnmarkout =
        new TPictureButton(QStringLiteral("btnmarkout"), QStringLiteral("Mark out"), Content());
    btnPlayClip->setToolTip(QStringLiteral("Play Clip"));
    btnmarkin->setToolTip(QStringLiteral("Mark in"));
    btnmarkout->setToolTip(QStringLiteral("Mark out"));
    lblpos = new QLabel(QStringLiteral("00:00:00"), Content());
    lblpos->setObjectName(QStringLiteral("lblpos"));
    lbllen = new QLabel(QStringLiteral(" / 00:00:00"), Content());
    lbllen->setObjectName(QStringLiteral("lbllen"));
    for (QWidget* control : std::initializer_list<QWidget*>{btnPlay, btnPause, btnStop, btnPlayClip,
                                                            btnmarkin, btnmarkout})
        transport->addWidget(control);
    transport->addStretch(1);
    transport->addWidget(lblpos);
    transport->addWidget(lbllen);
    transport->setSpacing(0);
    column->addLayout(transport);

    lvCutVideo = new QTreeWidget(Content());
    lvCutVideo->setObjectName(QStringLiteral("lvCutVideo"));
    lvCutVideo->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Start Time"),
                                 QStringLiteral("End Time"), QStringLiteral("Duration")});
    lvCutVideo->setRootIsDecorated(false);
    lvCutVideo->setSelectionMode(QAbstractItemView::SingleSelection);
    lvCutVideo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvCutVideo->header()->setSectionsMovable(false);
    lvCutVideo->header()->setStretchLastSection(false);
    for (int c = 0; c < 4; ++c) {
        lvCutVideo->header()->setSectionResizeMode(c, QHeaderView::Fixed);
        lvCutVideo->setColumnWidth(c, kColumnWidths[c]);
    }
    lvCutVideo->setFixedSize(kColumnWidths[0] + kColumnWidths[1] + kColumnWidths[2] +
                                 kColumnWidths[3] + 2 * lvCutVideo->frameWidth() + 2,
                             140);
    lvCutVideo->viewport()->installEventFilter(this);
    column->addWidget(lvCutVideo, 0, Qt::AlignHCenter);

    // The in-place time editor, over a cell of the list.
    ItemEdit = new TMyMaskEdit(lvCutVideo->viewport());
    ItemEdit->setObjectName(QStringLiteral("ItemEdit"));
    ItemEdit->setInputMask(QStringLiteral("99:99:99;0")); // deleted digits read as 0
    ItemEdit->setMaxLength(8);
    ItemEdit->hide();
    connect(ItemEdit, &QLineEdit::textEdited, this, &TClipfrm::EditorTextEdited);
    ItemEdit->MyonExit = [this](TMyMaskEdit*) {
        if (ItemEdit->isModified()) {
            ItemEdit->setModified(false);
            ShowSelectedClip();
        }
    };
    for (QScrollBar* bar : {lvCutVideo->verticalScrollBar(), lvCutVideo->horizontalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, &TClipfrm::HideEditor);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    btnadd = new TPictureButton(QStringLiteral("btnadd"), QStringLiteral("New Clip"), Content());
    btndelete =
        new TPictureButton(QStringLiteral("btndelete"), QStringLiteral("Delete Clip"), Content());
    btnOK = new TPictureButton(QStringLiteral("btnOK"), QStringLiteral("OK"), Content());
    btnCancel =
        new TPictureButton(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), Content());
    btndelete->setEnabled(false);
    bottom->addWidget(btnadd);
    bottom->addWidget(btndelete);
    bottom->addStretch(1);
    bottom->addWidget(btnOK);
    bottom->addWidget(btnCancel);
    column->addLayout(bottom);

    connect(btnPlay, &QToolButton::clicked, this, &TClipfrm::btnPlayClick);
    connect(btnPause, &QToolButton::clicked, this, &TClipfrm::btnPauseClick);
    connect(btnStop, &QToolButton::clicked, this, &TClipfrm::btnStopClick);
    connect(btnPlayClip, &QAbstractButton::clicked, this, &TClipfrm::btnPlayClipClick);
    connect(btnmarkin, &QAbstractButton::clicked, this, &TClipfrm::btnmarkinClick);
    connect(btnmarkout, &QAbstractButton::clicked, this, &TClipfrm::btnmarkoutClick);
    connect(btnadd, &QAbstractButton::clicked, this, &TClipfrm::btnaddClick);
    connect(btndelete, &QAbstractButton::clicked, this, &TClipfrm::btndeleteClick);
    connect(btnOK, &QAbstractButton::clicked, this, &TClipfrm::btnOKClick);
    connect(btnCancel, &QAbstractButton::clicked, this, &TClipfrm::btnCancelClick);
    connect(lvCutVideo, &QTreeWidget::itemSelectionChanged, this,
            [this] { btndelete->setEnabled(SelectedRow() >= 0); });
    connect(lvCutVideo, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (ItemEdit->isVisible())
            ItemEdit->setFocus();
    });
}

// --- Opening -----------------------------------------------------------------------------------

void TClipfrm::FirstShow() {
    ActivityLog().WriteInfo(QStringLiteral("Enter TClipfrm"));
    btnOK->setFocus();
    OpenSource();
}

void TClipfrm::OpenSource() {
    FOpened = PlayerOpen(FOwner->Item.InputOptions.FileName, FPlayer, PanelVideo, this);
    if (!FOpened)
        return;
    FTracking = true;
    SetPlaying(true);
    FClipCounter = NextClipNumber(ClipList());
    if (!ClipList().isEmpty()) {
        for (const TClipFile& clip : ClipList())
            AddRow(clip);
        return;
    }
    btnaddClick(); // one clip over the whole source
}

void TClipfrm::PlayerFileOpen(int64_t duration, int& screenWidth, int& screenHeight) {
    const QSize display = PanelVideo->DisplaySize();
    screenWidth = display.width();
    screenHeight = display.height();
    TrckVideo->SetPosition(0);
    TrckVideo->SetSegStartPos(0);
    lbllen->setText(QStringLiteral(" / ") + TimeText(duration));
    FDuration = duration;
    ComputeUnits();
    TrckVideo->SetMax(FFrames);
    TrckVideo->SetSegEndPos(FFrames);
}

void TClipfrm::ComputeUnits() {
    FFrames = 0;
    FUnitsPerSecond = 0;
    TFFDecoder& decoder = FPlayer.Decoder();
    TVideoStreamInfo video;
    if (decoder.GetFirstVideoStreamInfo(video) && video.FrameRateDen > 0) {
        const double rate = double(video.FrameRateNum) / video.FrameRateDen;
        int64_t length = video.Duration;
        if (length <= 0) {
            TFileStreamInfo file;
            if (decoder.GetFileStreamInfo(file))
                length = file.Duration;
        }
        if (length > 0)
            FFrames = std::llround(length / 1e6 * rate);
        FUnitsPerSecond = static_cast<int>(std::lround(rate));
    }
    if (FFrames <= 0 || FUnitsPerSecond <= 0) {
        FFrames = FDuration; // the seek bar runs in microseconds
        FUnitsPerSecond = 1000000;
    }
    ActivityLog().WriteInfo(QStringLiteral("FFrames: %1 ").arg(FFrames));
}

int64_t TClipfrm::TimeOf(int64_t units) const {
    if (FFrames <= 0)
        return 0;
    return static_cast<int64_t>(
        std::nearbyint(static_cast<long double>(units) * FDuration / FFrames));
}

int64_t TClipfrm::UnitsOf(int64_t microseconds) const {
    if (FDuration <= 0)
        return 0;
    return static_cast<int64_t>(
        std::nearbyint(static_cast<long double>(microseconds) * FFrames / FDuration));
}

// --- The player's events -----------------------------------------------------------------------

void TClipfrm::PlayerPosition(int64_t pts) {
    if (!FTracking || FThumbPressed)
        return;
    if (FSkip > 0) {
        --FSkip;
        return;
    }
    if (static_cast<long double>(pts) >= static_cast<long double>(TrckVideo->SegEndPos()) *
                                             FDuration / std::max<int64_t>(1, FFrames)) {
        // Playback always stops at the end mark.
        SetPlaying(false);
        TrckVideo->SetPosition(TrckVideo->SegEndPos());
        lblpos->setText(TimeText(TimeOf(TrckVideo->Position())));
        return;
    }
    if (pts > TimeOf(TrckVideo->Position())) {
        TrckVideo->SetPosition(UnitsOf(pts));
        lblpos->setText(TimeText(pts));
    }
}

void TClipfrm::PlayerState(TPlayState state) {
    switch (state) {
    case psPause: FSkip = 0; break;
    case psResume: FSkip = 2; break;
    case psStop: PanelVideo->update(); break;
    case psEnd:
        if (TrckVideo->SegStartPos() == 0)
            btnStopClick();
        break;
    case psPlay:
    case psStep: break;
    }
}

// --- Transport ---------------------------------------------------------------------------------

void TClipfrm::SetPlaying(bool playing) {
    if (playing == (FPlayToggle == 1))
        return;
    SetPlayToggle(FPlayToggle, btnPlay, btnPause, FPlayer);
}

void TClipfrm::TurnTrackingOn() {
    FTracking = FOpened;
}

void TClipfrm::btnPlayClick() {
    TurnTrackingOn();
    SetPlaying(true);
}

void TClipfrm::btnPauseClick() {
    SetPlaying(false);
}

void TClipfrm::btnPlayClipClick() {
    TurnTrackingOn();
    TrckVideo->SetPosition(TrckVideo->SegStartPos());
    FPlayer.Seek(0, false, TimeOf(TrckVideo->SegStartPos()));
    FSkip = 5;
    SetPlaying(true);
}

void TClipfrm::btnStopClick() {
    if (!FTracking)
        return;
    FTracking = false;
    TrckVideo->SetSegStartPos(0);
    TrckVideo->SetSegEndPos(TrckVideo->Max());
    SetPlaying(false);
    FPlayer.Seek(0, false, 0);
    TrckVideo->SetPosition(0);
    lblpos->setText(QStringLiteral("00:00:00"));
    UpdatePlayEnabled();
}

void TClipfrm::UpdatePlayEnabled() {
    btnPlay->setEnabled(TrckVideo->Position() != TrckVideo->SegEndPos());
}

// --- Marks -------------------------------------------------------------------------------------

void TClipfrm::KeepMinimumLength(bool startChanged) {
    if (TrckVideo->SegEndPos() - TrckVideo->SegStartPos() >= FUnitsPerSecond)
        return;
    if (startChanged)
        TrckVideo->SetSegStartPos(TrckVideo->SegEndPos() - FUnitsPerSecond - 1);
    else
        TrckVideo->SetSegEndPos(TrckVideo->SegStartPos() + FUnitsPerSecond + 1);
}

void TClipfrm::StoreMarkIntoSelection(bool start) {
    const int row = SelectedRow();
    if (row < 0)
        return;
    TClipFile& clip = FClips[row];
    if (start)
        clip.StartTime = TimeOf(TrckVideo->SegStartPos());
    else
        clip.EndTime = TimeOf(TrckVideo->SegEndPos());
    RefreshRow(row);
    if (ItemEdit->isVisible() && FEditColumn == (start ? 0 : 1)) {
        FRefreshing = true;
        ItemEdit->setText(TimeText(start ? clip.StartTime : clip.EndTime));
        FRefreshing = false;
    }
    FModified = true;
}

void TClipfrm::btnmarkinClick() {
    TrckVideo->SetSegStartPos(TrckVideo->Position());
    KeepMinimumLength(true);
    StoreMarkIntoSelection(true);
    UpdatePlayEnabled();
}

void TClipfrm::btnmarkoutClick() {
    TrckVideo->SetSegEndPos(TrckVideo->Position());
    KeepMinimumLength(false);
    StoreMarkIntoSelection(false);
    UpdatePlayEnabled();
}

void TClipfrm::ConnectSeekBar() {
    TrckVideo->OnTickMouseDown = [this](TMrvTrackbar*) {
        TurnTrackingOn();
        FThumbPressed = true;
        FThumbMoved = false;
        FThumbPaused = Playing();
        SetPlaying(false);
    };
    TrckVideo->OnMouseMove = [this](TMrvTrackbar*, Qt::MouseButton, Qt::KeyboardModifiers, int,
                                    int) { FThumbMoved = FThumbPressed; };
    TrckVideo->OnTickChange = [this](TMrvTrackbar*) {
        if (FThumbPressed && FThumbMoved) {
            // Live scrubbing: the picture follows the thumb.
            const int64_t time = TimeOf(TrckVideo->Position());
            FPlayer.Seek(0, false, time);
            lblpos->setText(TimeText(time));
        } else if (FSeekPending) {
            FPlayer.Seek(0, false, TimeOf(TrckVideo->Position()));
            lblpos->setText(TimeText(TimeOf(TrckVideo->Position())));
            FSkip = 3;
            FSeekPending = false;
        }
        UpdatePlayEnabled();
    };
    TrckVideo->OnTickMouseUp = [this](TMrvTrackbar*) {
        if (FThumbPaused)
            SetPlaying(true);
        if (FThumbMoved)
            FSkip = 3;
        FThumbPressed = FThumbMoved = FThumbPaused = false;
    };
    TrckVideo->OnMouseUp = [this](TMrvTrackbar* bar, Qt::MouseButton, Qt::KeyboardModifiers, int x,
                                  int y) {
        TurnTrackingOn();
        const bool endsMarkDrag = FStartPressed || FEndPressed;
        FSeekPending = !endsMarkDrag && !FThumbPressed && bar->TrackRect().contains(x, y);
    };
    TrckVideo->OnSegStartMouseDown = [this](TMrvTrackbar*) {
        TurnTrackingOn();
        FStartPressed = true;
        FWasPlayingBeforeMark = Playing();
    };
    TrckVideo->OnSegendMouseDown = [this](TMrvTrackbar*) {
        TurnTrackingOn();
        FEndPressed = true;
        FWasPlayingBeforeMark = Playing();
    };
    const auto markReleased = [this](TMrvTrackbar*) {
        // A pause caused by pushing the thumb lasts; the was-playing state is forgotten.
        FStartPressed = FEndPressed = false;
        FWasPlayingBeforeMark = false;
    };
    TrckVideo->OnSegStartMouseUp = markReleased;
    TrckVideo->OnSegEndMouseUp = markReleased;
    TrckVideo->OnStartChange = [this](TMrvTrackbar*) {
        KeepMinimumLength(true);
        StoreMarkIntoSelection(true);
        if (FStartPressed) {
            if (TrckVideo->Position() == TrckVideo->SegStartPos()) {
                SetPlaying(false);
                FPlayer.Seek(0, false, TimeOf(TrckVideo->Position()));
            } else if (FWasPlayingBeforeMark && !Playing()) {
                SetPlaying(true);
            }
        }
        UpdatePlayEnabled();
    };
    TrckVideo->OnEndChange = [this](TMrvTrackbar*) {
        KeepMinimumLength(false);
        StoreMarkIntoSelection(false);
        if (FEndPressed) {
            if (TrckVideo->Position() == TrckVideo->SegEndPos())
                FPlayer.Seek(0, false, TimeOf(TrckVideo->Position()));
            else if (FWasPlayingBeforeMark && !Playing())
                SetPlaying(true);
        }
        UpdatePlayEnabled();
    };
}

// --- The clip list -----------------------------------------------------------------------------

TClipFile& TClipfrm::ClipOf(int row) {
    return FClips[row];
}

int TClipfrm::ClipCount() const {
    return static_cast<int>(FClips.size());
}

int TClipfrm::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = lvCutVideo->selectedItems();
    return selected.isEmpty() ? -1 : lvCutVideo->indexOfTopLevelItem(selected.first());
}

QTreeWidgetItem* TClipfrm::AddRow(const TClipFile& clip) {
    FClips.append(clip);
    auto* item = new QTreeWidgetItem(lvCutVideo);
    RefreshRow(static_cast<int>(FClips.size()) - 1);
    if (clip.ClipDuration > 0)
        item->setText(3, TimeText(clip.ClipDuration)); // as it was stored
    return item;
}

void TClipfrm::RefreshRow(int row) {
    const TClipFile& clip = FClips[row];
    QTreeWidgetItem* item = lvCutVideo->topLevelItem(row);
    item->setText(0, clip.ClipName);
    item->setText(1, TimeText(clip.StartTime));
    item->setText(2, TimeText(clip.EndTime));
    item->setText(3, TimeText(clip.EndTime - clip.StartTime));
}

void TClipfrm::btnaddClick() {
    HideEditor();
    TClipFile clip;
    clip.ClipName = QStringLiteral("Part_%1").arg(FClipCounter);
    clip.StartTime = TimeOf(TrckVideo->SegStartPos());
    clip.EndTime = TimeOf(TrckVideo->SegEndPos());
    SetClipDefaults(clip, FOwner->Item.SourceFrameSize);
    ++FClipCounter;
    QTreeWidgetItem* item = AddRow(clip);
    lvCutVideo->setCurrentItem(item);
    item->setSelected(true);
    lvCutVideo->scrollToItem(item);
    EditRow(lvCutVideo->indexOfTopLevelItem(item), 0);
    FModified = true;
}

void TClipfrm::btndeleteClick() {
    const int row = SelectedRow();
    if (row < 0)
        return;
    HideEditor();
    delete lvCutVideo->takeTopLevelItem(row);
    FClips.removeAt(row);
    if (FClips.isEmpty())
        FClipCounter = 0;
    FModified = true;
}

void TClipfrm::EditRow(int row, int column) {
    QTreeWidgetItem* item = lvCutVideo->topLevelItem(row);
    if (item == nullptr)
        return;
    FEditColumn = column;
    const QRect cell = lvCutVideo->visualItemRect(item);
    const int left = lvCutVideo->header()->sectionPosition(1 + column);
    const int width = lvCutVideo->columnWidth(1 + column);
    FRefreshing = true;
    ItemEdit->setGeometry(left + 3, cell.top() + 2, width - 6, cell.height() + 3);
    ItemEdit->setText(item->text(1 + column));
    ItemEdit->setModified(false);
    FRefreshing = false;
    ItemEdit->show();
    ItemEdit->raise();
    ItemEdit->setFocus();
}

void TClipfrm::HideEditor() {
    ItemEdit->hide();
}

void TClipfrm::ShowSelectedClip() {
    const int row = SelectedRow();
    if (row < 0)
        return;
    const TClipFile& clip = FClips[row];
    const int64_t start = UnitsOf(clip.StartTime);
    const int64_t end = UnitsOf(clip.EndTime);
    // In the order in which neither assignment is clamped by the other.
    if (end < TrckVideo->SegStartPos()) {
        TrckVideo->SetSegStartPos(start);
        TrckVideo->SetSegEndPos(end);
    } else {
        TrckVideo->SetSegEndPos(end);
        TrckVideo->SetSegStartPos(start);
    }
    const int64_t now = TimeOf(TrckVideo->Position());
    if (now < clip.StartTime || now > clip.EndTime) {
        SetPlaying(false);
        TrckVideo->SetPosition(start);
        FPlayer.Seek(0, false, clip.StartTime);
        FSkip = 4;
    }
    UpdatePlayEnabled();
}

void TClipfrm::EditorTextEdited(const QString&) {
    const int row = SelectedRow();
    if (FRefreshing || row < 0)
        return;
    TClipFile& clip = FClips[row];
    int64_t time = 0;
    const QString text = ItemEdit->displayText();
    if (!ParseClipTime(text, &time)) {
        Prompts().Error(this, QStringLiteral("\"%1\" is not a time (hh:mm:ss).").arg(text));
        return;
    }
    if (FEditColumn == 1) {
        time = std::min(time, FDuration);
        const int64_t start = UnitsOf(clip.StartTime);
        if (UnitsOf(time) - start < FUnitsPerSecond)
            time = TimeOf(start + FUnitsPerSecond);
        clip.EndTime = time;
    } else {
        const int64_t end = UnitsOf(clip.EndTime);
        if (end - UnitsOf(time) < FUnitsPerSecond)
            time = TimeOf(end - FUnitsPerSecond);
        clip.StartTime = std::max<int64_t>(0, time); // never before the source's start
    }
    RefreshRow(row);
    FRefreshing = true;
    const int cursor = ItemEdit->cursorPosition();
    ItemEdit->setText(TimeText(FEditColumn == 1 ? clip.EndTime : clip.StartTime));
    ItemEdit->setCursorPosition(cursor);
    FRefreshing = false;
    ItemEdit->setModified(true);
    FModified = true;
}

bool TClipfrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lvCutVideo->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            QTreeWidgetItem* item = lvCutVideo->itemAt(at);
            if (item == nullptr) {
                HideEditor();
            } else {
                lvCutVideo->setCurrentItem(item);
                item->setSelected(true);
                const int firstTwo = kColumnWidths[0] + kColumnWidths[1];
                EditRow(lvCutVideo->indexOfTopLevelItem(item),
                        at.x() + lvCutVideo->header()->offset() > firstTwo ? 1 : 0);
                ShowSelectedClip();
                return true;
            }
        } else if (event->type() == QEvent::Wheel) {
            HideEditor();
        }
    }
    return TSkinnedDialog::eventFilter(watched, event);
}

// --- Closing -----------------------------------------------------------------------------------

void TClipfrm::btnOKClick() {
    ClipList().clear();
    for (int row = 0; row < ClipCount(); ++row) {
        TClipFile& clip = FClips[row];
        clip.ClipDuration = clip.EndTime - clip.StartTime;
        clip.ClipName = lvCutVideo->topLevelItem(row)->text(0);
        ActivityLog().WriteInfo(
            QString::asprintf("AddVideoClip:  StartTime = %.5f, EndTime = %.5f, TimeLength = %.5f ",
                              clip.StartTime / 1e6, clip.EndTime / 1e6, clip.ClipDuration / 1e6));
        ClipList().append(clip);
    }
    FList.SetFocused(FOwner);
    if (!ClipList().isEmpty())
        FList.CommitClipList(AppSettings().OutputPath);
    else if (!FOwner->Children.empty())
        FList.DeleteChildrenFrom(FOwner->Children.front().get(), true);
    FClosing = true;
    ClosePlayer();
    accept();
}

void TClipfrm::btnCancelClick() {
    reject();
}

void TClipfrm::reject() {
    if (FClosing) {
        TSkinnedDialog::reject();
        return;
    }
    if (FModified) {
        Prompts().Beep();
        switch (Prompts().AskYesNoCancel(this, QStringLiteral("Do you want to save changes?"))) {
        case TAnswer::Yes: btnOKClick(); return;
        case TAnswer::Cancel: return;
        case TAnswer::No: break;
        }
    }
    CloseWithoutSaving();
}

void TClipfrm::CloseWithoutSaving() {
    FClosing = true;
    ClosePlayer();
    TSkinnedDialog::reject();
}

void TClipfrm::ClosePlayer() {
    SetPlaying(false);
    FPlayer.Close(false);
    PanelVideo->ClearPicture();
}

void TClipfrm::done(int result) {
    ActivityLog().WriteInfo(QStringLiteral("Leave TClipfrm"));
    TSkinnedDialog::done(result);
}
