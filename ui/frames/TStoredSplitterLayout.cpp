#include "TStoredSplitterLayout.h"

#include "ExceptionDisplay.h"
#include "TRegistry.h"

#include <QEvent>
#include <QSplitter>

TStoredSplitterLayout::TStoredSplitterLayout(QSplitter *splitter, std::string key,
                                             std::vector<TValue> values, int fillPanel,
                                             std::vector<int> designHeights)
    : QObject(splitter), Splitter(splitter), Key(std::move(key)), Values(std::move(values)),
      FillPanel(fillPanel), DesignHeights(std::move(designHeights)) {
    Splitter->setOpaqueResize(false);  // the handle moves (and the layout is saved) on release
    for (int i = 0; i < Splitter->count(); ++i)
        Splitter->setStretchFactor(i, i == FillPanel ? 1 : 0);
    SetHeights(DesignHeights);
    Splitter->installEventFilter(this);
}

void TStoredSplitterLayout::Restore() {
    Stored.clear();
    TRegistry reg(KEY_READ);
    if (!reg.OpenKeyReadOnly(Key)) return;
    std::vector<int> read;
    for (const TValue &v : Values) {
        if (reg.GetDataType(v.Name) != rdInteger) return;
        read.push_back(reg.ReadInteger(v.Name));
    }
    Stored = std::move(read);
}

void TStoredSplitterLayout::Save() {
    TRegistry reg(KEY_WRITE);
    if (!reg.OpenKey(Key, true)) return;
    for (const TValue &v : Values) reg.WriteInteger(v.Name, ValueOf(v));
}

int TStoredSplitterLayout::ValueOf(const TValue &value) const {
    const int top = Splitter->y();
    switch (value.Part) {
    // The handle's gap starts below the panel above it (Qt widens a thin handle's own widget
    // by a pixel on each side for grabbing).
    case SplitterTop: return top + Splitter->widget(value.Index - 1)->geometry().bottom() + 1;
    case PanelHeight: return Splitter->widget(value.Index)->height();
    case PanelTop: return top + Splitter->widget(value.Index)->y();
    }
    return 0;
}

bool TStoredSplitterLayout::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Splitter && event->type() == QEvent::Show && !Scheduled)
        kivra::RunGuarded([this] {
            // The show's own layout requests are queued already: apply after them, at the real
            // size.
            Scheduled = true;
            QMetaObject::invokeMethod(this, kivra::Guarded([this] { Apply(); }),
                                      Qt::QueuedConnection);
        });
    return QObject::eventFilter(watched, event);
}

void TStoredSplitterLayout::Apply() {
    Done = true;
    Splitter->removeEventFilter(this);
    if (Stored.size() != Values.size()) return;
    const int room = Splitter->height();
    std::vector<int> heights(static_cast<std::size_t>(Splitter->count()), 0);
    for (std::size_t i = 0; i < Values.size(); ++i) {
        const int v = Stored[i];
        if (v < 0 || v > room) return;
        if (Values[i].Part == PanelHeight) heights[static_cast<std::size_t>(Values[i].Index)] = v;
    }
    int fixed = Splitter->handleWidth() * (Splitter->count() - 1);
    for (int i = 0; i < Splitter->count(); ++i)
        if (i != FillPanel) fixed += heights[static_cast<std::size_t>(i)];
    if (room - fixed < kMinimumFillHeight) return;
    SetHeights(heights);
    StoredUsed = true;
}

void TStoredSplitterLayout::SetHeights(const std::vector<int> &heights) {
    QList<int> sizes;
    int fixed = Splitter->handleWidth() * (Splitter->count() - 1);
    for (int i = 0; i < Splitter->count(); ++i) {
        const int h = i < static_cast<int>(heights.size()) ? heights[static_cast<std::size_t>(i)]
                                                           : 0;
        sizes.append(h);
        if (i != FillPanel) fixed += h;
    }
    if (FillPanel >= 0 && FillPanel < sizes.size())
        sizes[FillPanel] = qMax(kMinimumFillHeight, Splitter->height() - fixed);
    Splitter->setSizes(sizes);
}
