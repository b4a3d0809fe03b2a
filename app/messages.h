// Message boxes and the texts they show.
#pragma once

// Shows a box unless the run is silent; returns the answer, or silentAnswer when silent.
int ShowMessage(const char* text, const char* caption, unsigned int type, int silentAnswer);
// Shows text under the "Warning" caption with the exclamation icon.
void ShowWarning(const char* text);
// Shows message and the "failed" text under the fatal-error caption, then exits with 1.
__attribute__((noreturn)) void FatalError(const char* message);
// Loads a string resource into buffer; a missing string yields an empty text.
void LoadText(unsigned int id, char* buffer, int capacity);
// Composes the template stringId filled with argument into the message-text buffer,
// or the unfilled template when the filled text would not fit; returns the text.
const char* ComposeFromTemplate(unsigned int stringId, const char* argument);
