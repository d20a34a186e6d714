#include "annotation/object.h"

#include "annotation/automation.h"
#include "annotation/module.h"
#include "annotation/tree.h"
#include "platform/desktop/global_memory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace fg::annotation {

static_assert(sizeof(ANNHANDLE) == 8, "a handle holds an index and a generation");

bool OwnedString::assign(std::string_view bytes) {
    if (bytes.empty()) {
        clear();
        return true;
    }
    auto* copy = static_cast<char*>(desktop::memoryAllocate(bytes.size() + 1));
    if (!copy) return false;
    std::memcpy(copy, bytes.data(), bytes.size());
    copy[bytes.size()] = '\0';
    clear();
    bytes_ = copy;
    size_ = bytes.size();
    return true;
}

void OwnedString::clear() {
    desktop::memoryFree(bytes_);
    bytes_ = nullptr;
    size_ = 0;
}

bool PointBuffer::allocate(std::size_t capacity) {
    clear();
    if (capacity == 0) return true;
    if (capacity > SIZE_MAX / sizeof(POINTD)) return false;
    points_ = static_cast<POINTD*>(desktop::memoryAllocate(capacity * sizeof(POINTD)));
    if (!points_) return false;
    capacity_ = capacity;
    return true;
}

bool PointBuffer::grow(std::size_t capacity) {
    if (capacity <= capacity_) return true;
    if (!points_) return allocate(capacity);
    if (capacity > SIZE_MAX / sizeof(POINTD)) return false;
    auto* more = static_cast<POINTD*>(desktop::memoryReallocate(points_, capacity * sizeof(POINTD)));
    if (!more) return false;
    points_ = more;
    capacity_ = capacity;
    return true;
}

void PointBuffer::clear() {
    desktop::memoryFree(points_);
    points_ = nullptr;
    capacity_ = 0;
}

namespace {

// Handles: the slot's index + 1 in the low half, the slot's generation in
// the high half. A slot's generation grows each time its record is freed,
// so an old handle never names the record that reuses the slot.
struct Slot {
    AnnObject* object = nullptr;
    std::uint32_t generation = 1;
};

struct HandleTable {
    std::vector<Slot> slots;
    std::vector<std::uint32_t> unused;
    std::size_t live = 0;

    ANNHANDLE add(AnnObject* object) {
        if (unused.empty()) {
            if (slots.size() >= 0xFFFFFFFEu) throw std::bad_alloc();
            // Freed slots go back to `unused` without allocating: it has
            // room for every slot.
            if (slots.size() == slots.capacity()) {
                const std::size_t grown = std::max<std::size_t>(64, slots.capacity() * 2);
                slots.reserve(grown);
                unused.reserve(grown);
            }
            slots.push_back({});
            unused.push_back(static_cast<std::uint32_t>(slots.size() - 1));
        }
        const std::uint32_t index = unused.back();
        unused.pop_back();
        slots[index].object = object;
        ++live;
        return (ANNHANDLE(slots[index].generation) << 32) | (ANNHANDLE(index) + 1);
    }

    Slot* find(ANNHANDLE handle) {
        const ANNHANDLE low = handle & 0xFFFFFFFFu;
        if (low == 0 || low > slots.size()) return nullptr;
        Slot& s = slots[low - 1];
        if (!s.object || s.generation != (handle >> 32)) return nullptr;
        return &s;
    }

    void remove(ANNHANDLE handle) {
        Slot* s = find(handle);
        if (!s) return;
        s->object = nullptr;
        if (++s->generation == 0) s->generation = 1;
        unused.push_back(static_cast<std::uint32_t>(s - slots.data()));
        --live;
    }
};

HandleTable& table() {
    static HandleTable t;
    return t;
}

constexpr ANNCOLOR kCustomColors[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                        0x808000, 0x808080, 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF,
                                        0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

constexpr const char* kAutoTexts[kAutoTextCount] = {
    "元に戻す(&U)",
    "切り取り(&T)",
    "ｺﾋﾟｰ(&C)",
    "貼り付け(&P)",
    "削除(&D)",
    "すべて選択(&A)",
    "最前面へ移動(&F)",
    "最背面へ移動(&B)",
    "ﾃﾞﾌｫﾙﾄ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "選択ﾎﾟｲﾝﾀ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    // The properties submenu's title for one object, by its kind.
    "ｺﾝﾃﾅｰ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "矢印 ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ｵｰﾃﾞｨｵ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ﾎﾞﾀﾝ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "楕円 ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ﾌﾘｰﾊﾝﾄﾞ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ﾊｲﾗｲﾄ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ﾎｯﾄｽﾎﾟｯﾄ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "直線 ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ﾉｰﾄ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "多角形 ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ﾎﾟﾘﾗｲﾝ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "長方形 ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "改訂 ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ｽﾀﾝﾌﾟ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "ﾃｷｽﾄ ﾌﾟﾛﾊﾟﾃｨ(&O)",
    "自動化 ﾌﾟﾛﾊﾟﾃｨ(&O)",
    // The properties submenu.
    "直線(&L)...",
    "塗りつぶし(&F)...",
    "前景色(&O)...",
    "背景色(&B)...",
    "ﾌｫﾝﾄ(&N)...",
    "ﾋﾞｯﾄﾏｯﾌﾟ(&B)...",
    "ﾃｷｽﾄ(&T)...",
    "ﾌｧｲﾙ(&I)...",
    // The line dialog.
    "直線",
    "ﾎﾟｲﾝﾄ幅(&W)",
    "種類(&S)",
    "OK",
    "ｷｬﾝｾﾙ",
    "実線",
    "点線",
    "鎖線",
    "一点鎖線",
    "二点鎖線",
    "透明",
    // The fill dialog.
    "塗りつぶし",
    "ﾓｰﾄﾞ(&M)",
    "ﾊﾟﾀｰﾝ(&P)",
    "多角形(&Y)",
    "OK",
    "ｷｬﾝｾﾙ",
    "透明",
    "半透明",
    "塗りつぶし",
    "塗りつぶし",
    "斜線(左下-右上)",
    "ｸﾛｽ",
    "網掛け",
    "斜線(左上-右下)",
    "横線",
    "縦線",
    "WINDING",
    "ALTERNATE",
    // The text dialog.
    "ﾃｷｽﾄ",
    "OK",
    "ｷｬﾝｾﾙ",
    // The open-file dialogs: titles and filters.
    "ｵｰﾃﾞｨｵ ﾌｧｲﾙ",
    "Wave ﾌｧｲﾙ (*.wav)|*.wav|すべてのﾌｧｲﾙ (*.*)|*.*|",
    "ｽﾀﾝﾌﾟ ﾌｧｲﾙ",
    "すべてのﾌｧｲﾙ (*.*)|*.*|",
};

void applyKindDefaults(AnnObject& o) {
    o.Transform = Matrix{};
    o.ScalarX = o.ScalarY = 1.0;
    o.OffsetX = o.OffsetY = 0.0;
    o.LineWidth = 1.0;
    o.Visible = o.Selected = 0;
    o.UserMode = 0;
    o.Tag = 0;
    o.ForeColor = 0;
    o.Wnd = 0;
    o.LineStyle = o.FillPattern = o.FillMode = o.PolyFillMode = 0;
    o.FontName.clear();
    o.BackColor = 0xFFFFFF;
    o.FontSize = annModule().defaultFontSize;
    std::memcpy(o.CustomColors, kCustomColors, sizeof kCustomColors);
    o.AutoMenuEnable = o.AutoDrawEnable = 1;
    switch (o.Type) {
    case ANN_HIGHLIGHT:
        o.BackColor = 0x00FFFF;
        o.FillMode = ANN_FILLMODE_TRANSLUCENT;
        o.LineStyle = ANN_LINE_NONE;
        break;
    case ANN_CONTAINER: o.LineStyle = ANN_LINE_NONE; break;
    case ANN_NOTE:
        o.FontName.assign("Arial");
        o.BackColor = 0x00FFFF;
        o.FillMode = ANN_FILLMODE_OPAQUE;
        break;
    case ANN_REDACTION:
        o.BackColor = 0;
        o.FillMode = ANN_FILLMODE_OPAQUE;
        o.LineStyle = ANN_LINE_NONE;
        break;
    case ANN_TEXT: o.FontName.assign("Arial"); break;
    case ANN_AUTOMATION:
        o.FontName.assign("Arial");
        for (int i = 0; i < kAutoTextCount; ++i)
            if (!o.AutoTexts[i].assign(kAutoTexts[i])) break;
        break;
    default: break;
    }
}

}  // namespace

AnnObject* annLock(ANNHANDLE handle) {
    Slot* s = table().find(handle);
    return s ? s->object : nullptr;
}

std::size_t annLiveObjectCount() { return table().live; }

AnnObject* annNewObject(std::uint32_t kind) {
    void* block = desktop::memoryAllocate(sizeof(AnnObject), true);
    if (!block) return nullptr;
    auto* o = new (block) AnnObject();
    try {
        o->Self = table().add(o);
    } catch (const std::bad_alloc&) {
        o->~AnnObject();
        desktop::memoryFree(block);
        return nullptr;
    }
    o->Type = kind;
    applyKindDefaults(*o);
    return o;
}

void annFreeUndoList(AnnObject& object) {
    ANNHANDLE* list = object.UndoList;
    const std::int32_t depth = object.UndoDepth;
    object.UndoList = nullptr;
    object.UndoDepth = 0;
    if (!list) return;
    for (std::int32_t i = 0; i <= depth; ++i)
        if (AnnObject* snapshot = annLock(list[i])) annDestroyTree(snapshot, ANN_FLAG_NO_INVALIDATE, false);
    desktop::memoryFree(list);
}

void annFreeObject(AnnObject* object) {
    if (object->Type == ANN_AUTOMATION) annReleaseAutomation(*object);
    annFreeUndoList(*object);
    table().remove(object->Self);
    object->~AnnObject();
    desktop::memoryFree(object);
}

std::string_view annDefaultAutoText(int index) {
    return index >= 0 && index < kAutoTextCount ? kAutoTexts[index] : std::string_view();
}

}  // namespace fg::annotation
