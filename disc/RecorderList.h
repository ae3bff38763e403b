#pragma once
// The recorder list that the burn dialog and the Archive window share (library vq_disc_ui):
//   SetUpRecorderList(cbRecorder);                                  // once, after the form is made
//   FillRecorderList(cbRecorder, *recorder, deviceWord, imageFileWord);   // and again after a choice
// The entries are the machine's drives as "product [mount paths]" (one that cannot be described is
// "<device word> N"), the image files offered (SetImageTargets, AddImageTarget), and last the entry
// that chooses an image file. Entry k (from 0) stands for the recorder's Device k + 1.
#include <QString>

#include "disc/DiscComponents.h"

class QComboBox;

// A long entry (an image file's path) is shortened in the middle, where it is least telling; the whole
// entry is in the tooltip and in the open list.
void SetUpRecorderList(QComboBox* list);

// Refills the list and selects its first entry. Throws when the recorders cannot be counted.
void FillRecorderList(QComboBox* list, TDiscRecorder& recorder, const QString& deviceWord,
                      const QString& imageFileWord);

// Whether `index` is the last entry, the one that chooses an image file.
bool IsImageFileEntry(const QComboBox* list, int index);
