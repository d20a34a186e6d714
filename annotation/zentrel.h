/* The annotation engine's exports: plain functions that the imaging control
 * calls to lay annotations over a displayed page image. Every function
 * answers a 32-bit result code and gives its results through out-pointers.
 *
 * Objects are named by handles that the engine hands out; a handle of a
 * destroyed object is refused (ANN_ERROR_INVALID_PARAMETER), never used.
 * Strings are bytes, kept as given; they are drawn as UTF-8, or as code
 * page 932 where they are not valid UTF-8.
 *
 * Coordinates: RECTD and POINTD are object coordinates (doubles); RECT and
 * POINT are window pixels. A RECT's right and bottom lie one past the last
 * pel.
 */
#ifndef ZENTREL_H
#define ZENTREL_H

#include <stdint.h>

#ifdef __cplusplus
namespace fg::desktop {
class DeviceContext;
struct Bitmap;
}  // namespace fg::desktop
/* A device context of the drawing layer, and a bitmap record of its bitmap
 * services. */
typedef fg::desktop::DeviceContext* ANNDC;
typedef fg::desktop::Bitmap ANNBITMAP;
extern "C" {
#else
typedef struct AnnDeviceContext* ANNDC;
typedef struct AnnBitmap ANNBITMAP;
#endif

#define ZENTREL_API __attribute__((visibility("default")))

typedef uintptr_t ANNHANDLE; /* an object, 0: none */
typedef uintptr_t ANNWND;    /* a window of the desktop layer, 0: none */
typedef uint32_t ANNCOLOR;   /* 0x00BBGGRR */

typedef struct {
    double left, top, right, bottom;
} RECTD;
typedef struct {
    double x, y;
} POINTD;
typedef struct {
    int32_t left, top, right, bottom;
} RECT;
typedef struct {
    int32_t x, y;
} POINT;

/* Called by K_AnnEnumerate for each object; any answer other than
 * ANN_SUCCESS ends the walk with that answer. */
typedef int32_t (*ANNENUMPROC)(ANNHANDLE object, intptr_t user);

/* Result codes. */
#define ANN_SUCCESS 1
#define ANN_ERROR_NO_MEMORY (-1)
#define ANN_ERROR_NO_BITMAP (-2)
#define ANN_ERROR_FILE_SEEK (-4)
#define ANN_ERROR_FILE_WRITE (-5)
#define ANN_ERROR_FILE_READ (-7)
#define ANN_ERROR_FILE_NOT_FOUND (-10)
#define ANN_ERROR_INVALID_PARAMETER (-13)
#define ANN_ERROR_FILE_OPEN (-14)
#define ANN_ERROR_NOT_SUPPORTED (-16)

/* Object kinds. */
enum {
    ANN_CONTAINER = 0,
    ANN_ARROW = 1,
    ANN_AUDIO = 2,
    ANN_BUTTON = 3,
    ANN_ELLIPSE = 4,
    ANN_FREEHAND = 5,
    ANN_HIGHLIGHT = 6,
    ANN_HOTSPOT = 7,
    ANN_LINE = 8,
    ANN_NOTE = 9,
    ANN_POLYGON = 10,
    ANN_POLYLINE = 11,
    ANN_RECTANGLE = 12,
    ANN_REDACTION = 13,
    ANN_STAMP = 14,
    ANN_TEXT = 15,
    ANN_AUTOMATION = 16
};

/* Selection flags of the setters, K_AnnEnumerate, K_AnnDestroy and the
 * geometry edits. */
enum {
    ANN_FLAG_SELECTED = 0x01,        /* only objects that are selected */
    ANN_FLAG_SKIP_CONTAINERS = 0x02, /* not the containers */
    ANN_FLAG_CHILDREN = 0x04,        /* the object's children instead of the object */
    ANN_FLAG_RECURSIVE = 0x08,       /* into every object's children too */
    ANN_FLAG_NO_INVALIDATE = 0x10    /* leave the window's picture alone */
};

/* Line styles, fill patterns, fill modes and polygon fill modes. */
enum { ANN_LINE_SOLID, ANN_LINE_DASH, ANN_LINE_DOT, ANN_LINE_DASHDOT, ANN_LINE_DASHDOTDOT, ANN_LINE_NONE };
enum {
    ANN_FILL_SOLID,
    ANN_FILL_BDIAGONAL,
    ANN_FILL_CROSS,
    ANN_FILL_DIAGCROSS,
    ANN_FILL_FDIAGONAL,
    ANN_FILL_HORIZONTAL,
    ANN_FILL_VERTICAL
};
enum { ANN_FILLMODE_TRANSPARENT, ANN_FILLMODE_TRANSLUCENT, ANN_FILLMODE_OPAQUE };
enum { ANN_POLYFILL_WINDING, ANN_POLYFILL_ALTERNATE };
/* User modes of a tree. */
enum { ANN_MODE_DESIGN, ANN_MODE_RUN };
/* Hit test results. */
enum { ANN_HIT_NONE, ANN_HIT_OBJECT, ANN_HIT_HANDLE };

/* The notification message, sent to an object's window; wParam says what
 * happened, lParam names the object. A handler may call the engine; it
 * should not destroy the object it is told about: the engine never touches
 * a destroyed object, but the call that sent the message then ends without
 * finishing its change. */
#define ANN_NOTIFY_MESSAGE 0x600
enum {
    ANN_NOTIFY_TOOL_CHOSEN = 0,
    ANN_NOTIFY_TOOLBAR_CREATED = 1,
    ANN_NOTIFY_TOOLBAR_DESTROYED = 2,
    ANN_NOTIFY_ACTIVATED = 3,
    ANN_NOTIFY_DEACTIVATED = 4,
    ANN_NOTIFY_INSERTED = 5,
    ANN_NOTIFY_REMOVED = 6,
    ANN_NOTIFY_DEFINE_BEGIN = 7,
    ANN_NOTIFY_DEFINE_END = 8,
    ANN_NOTIFY_CLICKED = 9,
    ANN_NOTIFY_CONTAINER_CHANGED = 10,
    ANN_NOTIFY_OBJECT_CHANGED = 11
};

/* Module entry: reason 1 when the process attaches, 0 when it detaches. */
ZENTREL_API int32_t DllMain(void* instance, uint32_t reason, void* reserved);

/* Life and tree. */
ZENTREL_API int32_t K_AnnCreate(uint32_t kind, ANNHANDLE* object);
ZENTREL_API int32_t K_AnnCreateContainer(ANNWND window, const RECTD* rect, int32_t visible, ANNHANDLE* object);
ZENTREL_API int32_t K_AnnCreateItem(ANNHANDLE container, uint32_t kind, int32_t visible, ANNHANDLE* object);
ZENTREL_API int32_t K_AnnDestroy(ANNHANDLE object, uint32_t flags);
ZENTREL_API int32_t K_AnnInsert(ANNHANDLE container, ANNHANDLE object, int32_t dissolve);
ZENTREL_API int32_t K_AnnRemove(ANNHANDLE object);
ZENTREL_API int32_t K_AnnBringToFront(ANNHANDLE object);
ZENTREL_API int32_t K_AnnSendToBack(ANNHANDLE object);
ZENTREL_API int32_t K_AnnGetContainer(ANNHANDLE object, ANNHANDLE* container);
ZENTREL_API int32_t K_AnnGetTopContainer(ANNHANDLE object, ANNHANDLE* container);
ZENTREL_API int32_t K_AnnEnumerate(ANNHANDLE object, ANNENUMPROC callback, intptr_t user, uint32_t flags);
ZENTREL_API int32_t K_AnnHitTest(ANNHANDLE object, POINT* point, uint32_t* result, ANNHANDLE* hit);

/* Geometry and window. */
ZENTREL_API int32_t K_AnnSetRect(ANNHANDLE object, const RECTD* rect);
ZENTREL_API int32_t K_AnnGetRect(ANNHANDLE object, RECTD* rect);
ZENTREL_API int32_t K_AnnGetBoundingRect(ANNHANDLE object, RECT* rect);
ZENTREL_API int32_t K_AnnSetPoints(ANNHANDLE object, const POINTD* points, uint32_t count);
ZENTREL_API int32_t K_AnnSetWnd(ANNHANDLE object, ANNWND window);
ZENTREL_API int32_t K_AnnGetWnd(ANNHANDLE object, ANNWND* window);
ZENTREL_API int32_t K_AnnSetUserMode(ANNHANDLE object, uint32_t mode);
ZENTREL_API int32_t K_AnnGetUserMode(ANNHANDLE object, uint32_t* mode);
ZENTREL_API int32_t K_AnnGetActiveState(ANNHANDLE object, uint32_t* state);
ZENTREL_API int32_t K_AnnGetType(ANNHANDLE object, uint32_t* kind);

/* Attributes: each setter applies the value to the objects the flags
 * select; each getter reads the object given. */
ZENTREL_API int32_t K_AnnSetVisible(ANNHANDLE object, int32_t visible, uint32_t flags);
ZENTREL_API int32_t K_AnnGetVisible(ANNHANDLE object, int32_t* visible);
ZENTREL_API int32_t K_AnnSetSelected(ANNHANDLE object, int32_t selected, uint32_t flags);
ZENTREL_API int32_t K_AnnGetSelected(ANNHANDLE object, int32_t* selected);
ZENTREL_API int32_t K_AnnSetTag(ANNHANDLE object, uint32_t tag, uint32_t flags);
ZENTREL_API int32_t K_AnnGetTag(ANNHANDLE object, uint32_t* tag);
ZENTREL_API int32_t K_AnnSetFontBold(ANNHANDLE object, int32_t value, uint32_t flags);
ZENTREL_API int32_t K_AnnGetFontBold(ANNHANDLE object, int32_t* value);
ZENTREL_API int32_t K_AnnSetFontItalic(ANNHANDLE object, int32_t value, uint32_t flags);
ZENTREL_API int32_t K_AnnGetFontItalic(ANNHANDLE object, int32_t* value);
ZENTREL_API int32_t K_AnnSetFontStrikeThrough(ANNHANDLE object, int32_t value, uint32_t flags);
ZENTREL_API int32_t K_AnnGetFontStrikeThrough(ANNHANDLE object, int32_t* value);
ZENTREL_API int32_t K_AnnSetFontUnderline(ANNHANDLE object, int32_t value, uint32_t flags);
ZENTREL_API int32_t K_AnnGetFontUnderline(ANNHANDLE object, int32_t* value);
ZENTREL_API int32_t K_AnnSetForeColor(ANNHANDLE object, ANNCOLOR color, uint32_t flags);
ZENTREL_API int32_t K_AnnGetForeColor(ANNHANDLE object, ANNCOLOR* color);
ZENTREL_API int32_t K_AnnSetBackColor(ANNHANDLE object, ANNCOLOR color, uint32_t flags);
ZENTREL_API int32_t K_AnnGetBackColor(ANNHANDLE object, ANNCOLOR* color);
ZENTREL_API int32_t K_AnnSetLineWidth(ANNHANDLE object, double width, uint32_t flags);
ZENTREL_API int32_t K_AnnGetLineWidth(ANNHANDLE object, double* width);
ZENTREL_API int32_t K_AnnSetLineStyle(ANNHANDLE object, uint32_t style, uint32_t flags);
ZENTREL_API int32_t K_AnnGetLineStyle(ANNHANDLE object, uint32_t* style);
ZENTREL_API int32_t K_AnnSetFillPattern(ANNHANDLE object, uint32_t pattern, uint32_t flags);
ZENTREL_API int32_t K_AnnGetFillPattern(ANNHANDLE object, uint32_t* pattern);
ZENTREL_API int32_t K_AnnSetFillMode(ANNHANDLE object, uint32_t mode, uint32_t flags);
ZENTREL_API int32_t K_AnnGetFillMode(ANNHANDLE object, uint32_t* mode);
ZENTREL_API int32_t K_AnnSetPolyFillMode(ANNHANDLE object, uint32_t mode, uint32_t flags);
ZENTREL_API int32_t K_AnnGetPolyFillMode(ANNHANDLE object, uint32_t* mode);
ZENTREL_API int32_t K_AnnSetFontSize(ANNHANDLE object, double size, uint32_t flags);
ZENTREL_API int32_t K_AnnGetFontSize(ANNHANDLE object, double* size);
ZENTREL_API int32_t K_AnnSetScalarX(ANNHANDLE object, double value, uint32_t flags);
ZENTREL_API int32_t K_AnnGetScalarX(ANNHANDLE object, double* value);
ZENTREL_API int32_t K_AnnSetScalarY(ANNHANDLE object, double value, uint32_t flags);
ZENTREL_API int32_t K_AnnGetScalarY(ANNHANDLE object, double* value);
ZENTREL_API int32_t K_AnnSetOffsetX(ANNHANDLE object, double value, uint32_t flags);
ZENTREL_API int32_t K_AnnGetOffsetX(ANNHANDLE object, double* value);
ZENTREL_API int32_t K_AnnSetOffsetY(ANNHANDLE object, double value, uint32_t flags);
ZENTREL_API int32_t K_AnnGetOffsetY(ANNHANDLE object, double* value);
/* Strings: the getter copies the bytes and a terminating zero into a
 * buffer the caller sized by the length getter (which does not count the
 * terminator); an object without the string gives "". */
ZENTREL_API int32_t K_AnnSetText(ANNHANDLE object, const char* text, uint32_t flags);
ZENTREL_API int32_t K_AnnGetText(ANNHANDLE object, char* text);
ZENTREL_API int32_t K_AnnGetTextLen(ANNHANDLE object, int32_t* length);
ZENTREL_API int32_t K_AnnSetFontName(ANNHANDLE object, const char* name, uint32_t flags);
ZENTREL_API int32_t K_AnnGetFontName(ANNHANDLE object, char* name);
ZENTREL_API int32_t K_AnnGetFontNameLen(ANNHANDLE object, int32_t* length);
/* A stamp's bitmap: the setter keeps its own copy of the record given (null
 * clears it); the getter gives a copy of the object's record. */
ZENTREL_API int32_t K_AnnSetBitmap(ANNHANDLE object, const ANNBITMAP* bitmap, uint32_t flags);
ZENTREL_API int32_t K_AnnGetBitmap(ANNHANDLE object, ANNBITMAP* bitmap);

/* Rendering: on a window's context with handles, on any context (a
 * printer page), and into a bitmap. */
ZENTREL_API int32_t K_AnnDraw(ANNDC dc, const RECT* clip, ANNHANDLE object);
ZENTREL_API int32_t K_AnnPrint(ANNDC dc, const RECT* destination, ANNHANDLE object);
ZENTREL_API int32_t K_AnnRealize(ANNBITMAP* bitmap, const RECT* destination, ANNHANDLE object,
                                 int32_t redactionsOnly);

/* Geometry edits, about a centre in object coordinates (null: each
 * object's own centre), and selection by a point or a rectangle in window
 * pixels. */
ZENTREL_API int32_t K_AnnFlip(ANNHANDLE object, const POINTD* centre, uint32_t flags);
ZENTREL_API int32_t K_AnnReverse(ANNHANDLE object, const POINTD* centre, uint32_t flags);
ZENTREL_API int32_t K_AnnRotate(ANNHANDLE object, double degrees, const POINTD* centre, uint32_t flags);
ZENTREL_API int32_t K_AnnResize(ANNHANDLE object, double xFactor, double yFactor, const POINTD* centre,
                                uint32_t flags);
ZENTREL_API int32_t K_AnnMove(ANNHANDLE object, double dx, double dy, uint32_t flags);
ZENTREL_API int32_t K_AnnSelectPoint(ANNHANDLE object, POINT* point);
ZENTREL_API int32_t K_AnnSelectRect(ANNHANDLE object, const RECT* rect);

/* Interactive definition: one step of a mouse gesture at a client point
 * of the object's window. */
enum {
    ANN_DEFINE_CREATE = 0,       /* the first point of a new object */
    ANN_DEFINE_MOVE = 1,         /* begin moving the object */
    ANN_DEFINE_ROTATE = 2,       /* begin rotating it */
    ANN_DEFINE_RESIZE = 3,       /* begin resizing it */
    ANN_DEFINE_SELECT_RECT = 4,  /* begin a selection rectangle of the tree */
    ANN_DEFINE_ADD = 5,          /* a step that adds a vertex or freehand point */
    ANN_DEFINE_TRACK = 6,        /* a step that follows the mouse */
    ANN_DEFINE_END = 7,          /* end the gesture and apply it */
    ANN_DEFINE_GROUP_MOVE = 8,   /* begin moving every selected object */
    ANN_DEFINE_GROUP_ROTATE = 9, /* begin rotating them */
    ANN_DEFINE_GROUP_RESIZE = 10 /* begin resizing them by the handle grabbed */
};
ZENTREL_API int32_t K_AnnDefine(ANNHANDLE object, const POINT* point, uint32_t step);

/* Saving and loading: format 0 is the annotation text, which loads again;
 * format 1 a placeable metafile of the picture, which is written only.
 * With selectedOnly only the selected objects are saved (a selected
 * container with all below it). A file is a descriptor open for reading
 * (and for writing to save), at a position of 32 bits; a memory block is a
 * global memory handle of the desktop layer, the caller's to free. A
 * loaded tree is the caller's: a new container, in no tree, without a
 * window. */
typedef uintptr_t ANNMEMORY;
enum { ANN_FORMAT_ANNOTATION = 0, ANN_FORMAT_METAFILE = 1 };
ZENTREL_API int32_t K_AnnSave(const char* name, ANNHANDLE object, uint32_t format, int32_t selectedOnly);
ZENTREL_API int32_t K_AnnSaveOffset(int32_t file, int32_t offset, uint32_t* written, ANNHANDLE object,
                                    uint32_t format, int32_t selectedOnly);
ZENTREL_API int32_t K_AnnSaveMemory(ANNHANDLE object, uint32_t format, int32_t selectedOnly, ANNMEMORY* memory,
                                    uint32_t* size);
ZENTREL_API int32_t K_AnnLoad(const char* name, ANNHANDLE* object);
ZENTREL_API int32_t K_AnnLoadOffset(int32_t file, int32_t offset, ANNHANDLE* object);
ZENTREL_API int32_t K_AnnLoadMemory(const void* text, uint32_t size, ANNHANDLE* object);

/* The clipboard: the annotation text under the engine's own format, or a
 * metafile picture; the clipboard is opened for the object's window (to
 * paste: for the window given) and closed again within the call. 0 when it
 * cannot be opened. */
ZENTREL_API int32_t K_AnnCopyToClipboard(ANNHANDLE object, uint32_t format, int32_t selectedOnly,
                                         int32_t emptyFirst);
/* The copy, then the objects copied are destroyed: the selected ones (each
 * with everything below it), or the object with its descendants. A copy
 * that fails destroys nothing. */
ZENTREL_API int32_t K_AnnCutToClipboard(ANNHANDLE object, uint32_t format, int32_t selectedOnly,
                                        int32_t emptyFirst);
ZENTREL_API int32_t K_AnnCopyFromClipboard(ANNWND window, ANNHANDLE* object);
ZENTREL_API int32_t K_AnnClipboardReady(int32_t* ready);
/* The object, when selected, and every selected object below it. */
ZENTREL_API int32_t K_AnnGetSelectCount(ANNHANDLE object, uint32_t* count);

/* The tool bar: a floating window of sixteen tool buttons that tells its
 * parent of every tool chosen (ANN_NOTIFY_TOOL_CHOSEN). */
#define ANN_TOOLBAR_MESSAGE 0x601
enum { ANN_TOOLBAR_RIGHT = 1, ANN_TOOLBAR_BOTTOM = 2 };
ZENTREL_API int32_t K_AnnCreateToolBar(ANNWND parent, const POINT* at, uint32_t align, int32_t show, ANNWND* toolBar);

/* The window procedure of the tool bar's window class "ZentrelTOOLBAR". */
ZENTREL_API intptr_t K_AnnToolBarWndProc(ANNWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
ZENTREL_API int32_t K_AnnSetToolBarChecked(ANNWND toolBar, uint32_t button);
ZENTREL_API int32_t K_AnnGetToolBarChecked(ANNWND toolBar, uint32_t* button);
ZENTREL_API int32_t K_AnnSetToolBarButtonVisible(ANNWND toolBar, uint32_t button, int32_t visible);
ZENTREL_API int32_t K_AnnGetToolBarButtonVisible(ANNWND toolBar, uint32_t button, int32_t* visible);

/* The line, fill and text dialogs of the automation; the creation
 * parameter is the automation object. They end with 1 for OK, 2 for
 * cancel. */
ZENTREL_API intptr_t K_AnnLineDlgProc(ANNWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
ZENTREL_API intptr_t K_AnnFillDlgProc(ANNWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
ZENTREL_API intptr_t K_AnnTextDlgProc(ANNWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

/* The automation: an automation object that is active runs the mouse and
 * context menu of its container's window by itself. */
ZENTREL_API intptr_t K_AnnAutoWndProc(ANNWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
ZENTREL_API int32_t K_AnnSetActiveState(ANNHANDLE object, uint32_t state);
ZENTREL_API int32_t K_AnnSetTool(ANNHANDLE automation, uint32_t tool);
ZENTREL_API int32_t K_AnnGetTool(ANNHANDLE automation, uint32_t* tool);
ZENTREL_API int32_t K_AnnSetAutoContainer(ANNHANDLE automation, ANNHANDLE container);
ZENTREL_API int32_t K_AnnGetAutoContainer(ANNHANDLE automation, ANNHANDLE* container);
ZENTREL_API int32_t K_AnnSetDpiX(ANNHANDLE automation, double dpi, uint32_t flags);
ZENTREL_API int32_t K_AnnGetDpiX(ANNHANDLE automation, double* dpi);
ZENTREL_API int32_t K_AnnSetDpiY(ANNHANDLE automation, double dpi, uint32_t flags);
ZENTREL_API int32_t K_AnnGetDpiY(ANNHANDLE automation, double* dpi);
ZENTREL_API int32_t K_AnnSetAutoMenuEnable(ANNHANDLE automation, int32_t enable);
ZENTREL_API int32_t K_AnnGetAutoMenuEnable(ANNHANDLE automation, int32_t* enable);
ZENTREL_API int32_t K_AnnSetAutoDrawEnable(ANNHANDLE automation, int32_t enable);
ZENTREL_API int32_t K_AnnGetAutoDrawEnable(ANNHANDLE automation, int32_t* enable);
/* The texts of the context menu and the dialogs, 0 to 70. */
ZENTREL_API int32_t K_AnnSetAutoText(ANNHANDLE automation, uint32_t index, const char* text);
ZENTREL_API int32_t K_AnnGetAutoText(ANNHANDLE automation, uint32_t index, char* text);
ZENTREL_API int32_t K_AnnGetAutoTextLen(ANNHANDLE automation, uint32_t index, int32_t* length);

/* Undo: snapshots of the automation's container taken before each edit,
 * newest first. */
ZENTREL_API int32_t K_AnnSetUndoDepth(ANNHANDLE automation, int32_t depth);
ZENTREL_API int32_t K_AnnUndo(ANNHANDLE automation);
/* A deep copy of an object as a new tree; the first child; the bounds of
 * the selected objects. */
ZENTREL_API int32_t K_AnnCopy(ANNHANDLE object, ANNHANDLE* copy);
ZENTREL_API int32_t K_AnnGetItem(ANNHANDLE object, ANNHANDLE* child);
ZENTREL_API int32_t K_AnnGetSelectRect(ANNHANDLE object, RECT* rect);

#ifdef __cplusplus
}
#endif

#endif
