// What the automation's window procedure, its dialogs and its undo share.
#pragma once

#include "annotation/object.h"
#include "annotation/properties.h"

#include <cstdint>
#include <string>

namespace fg::annotation {

// Dialog resources of the automation.
inline constexpr int kLineDialog = 114, kFillDialog = 115, kTextDialog = 116;

// Runs a dialog modally over `owner` for the automation object; 1 for OK,
// 2 for cancel, -1 when it cannot be shown.
std::intptr_t annRunDialog(int resource, desktop::WindowHandle owner, ANNHANDLE automation);

// An automation text as the window layer shows it (UTF-8).
std::string annAutoText(const AnnObject& automation, int index);

// The resolution an automation converts with: its own, or the screen's
// where its own is not a positive number.
double annResolutionX(const AnnObject& automation);
double annResolutionY(const AnnObject& automation);

// A change of the current object's attribute that the automation carries
// further: from a single object to the automation's own defaults, from
// the automation object to every selected object of its container.
void annStoreFollowing(AnnObject& automation, const int* kinds, Attribute attribute, const PropertyValue& value);
// The object the automation's menu and dialogs are about: AutoCurrent, or
// the automation object itself when that names nothing.
AnnObject& annCurrentOf(AnnObject& automation);

// A deep copy of an object (and of its following siblings with
// `siblings`), outside any container; null with the failure in `result`.
AnnObject* annCopyTree(const AnnObject* source, bool siblings, int* result);
// An undo snapshot of the automation's container, when undo is on.
void annTakeSnapshot(AnnObject& automation);
// Puts the newest snapshot back into the container.
int annUndo(AnnObject& automation);

// An active automation object that goes gives its window back its own
// procedure and takes its property away.
void annReleaseAutomation(AnnObject& automation);

}  // namespace fg::annotation
