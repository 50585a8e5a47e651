#pragma once
// TStoredSplitterLayout: the panel heights of a view that one vertical QSplitter divides, kept in
// the settings store as REG_DWORD pixel values under the view's key.
//
// Values: each names a splitter handle's top, a panel's height or a panel's top, in view
// coordinates; Save writes all of them, in the order given. Restore (at construction) reads them
// only when the key exists and holds every one as a REG_DWORD; it never creates the key.
//
// The stored heights are applied once the view has its real size: when the splitter is first
// shown, after the layout of that show has settled. They are applied only when every value lies
// within the splitter's height and the panels with a stored height, with the handles, leave the
// filling panel at least kMinimumFillHeight; otherwise the design heights stay. One panel fills
// (it takes what the others leave, and every later growth or shrink of the view).
//
// Main thread only. The object belongs to its view (a child QObject); the splitter is the view's.

#include <QObject>

#include <string>
#include <vector>

class QSplitter;

class TStoredSplitterLayout : public QObject {
public:
    enum TPart { SplitterTop, PanelHeight, PanelTop };
    struct TValue {
        const char *Name;
        TPart Part;
        int Index;  // handle 1.. for SplitterTop, panel 0.. otherwise
    };
    static constexpr int kMinimumFillHeight = 40;

    // designHeights: one per panel, the filling panel's ignored.
    TStoredSplitterLayout(QSplitter *splitter, std::string key, std::vector<TValue> values,
                          int fillPanel, std::vector<int> designHeights);

    void Restore();  // reads the stored values; applied at the first show
    void Save();     // opens (or creates) the key and writes every value from the current layout

    // True once the first show's layout has been applied (the stored one or the design one).
    bool Applied() const { return Done; }
    bool UsedStored() const { return StoredUsed; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Apply();
    void SetHeights(const std::vector<int> &heights);
    int ValueOf(const TValue &value) const;

    QSplitter *Splitter;
    std::string Key;
    std::vector<TValue> Values;
    int FillPanel;
    std::vector<int> DesignHeights;
    std::vector<int> Stored;  // empty: nothing complete was stored
    bool Scheduled = false, Done = false, StoredUsed = false;
};
