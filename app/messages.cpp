#include "app/messages.h"

#include "app/resource.h"
#include "app/state.h"
#include "log/log.h"

#include <stdio.h>
#include <string.h>

const int EXIT_FATAL = 1;

void LoadText(unsigned int id, char* buffer, int capacity) {
    buffer[0] = '\0';
    LoadStringA(g_state.hInstance, id, buffer, capacity);
}

static const char* AnswerName(int answer) {
    switch (answer) {
    case IDOK:
        return "OK";
    case IDCANCEL:
        return "Cancel";
    case IDYES:
        return "Yes";
    case IDNO:
        return "No";
    case 0:
        return "no box could be shown";
    default:
        return "other";
    }
}

// One "SM: text:" line for each line of the text, so that the log alone tells what the user
// was told, or would have been under -silent.
static void LogBox(const char* text, const char* caption, unsigned int type) {
    LogMessage("  > ShowMessage(%u)\n", type);
    LogMessage("SM: caption: %s\n", caption);
    const char* line = text;
    for (;;) {
        const char* end = strchr(line, '\n');
        int length = end != NULL ? (int)(end - line) : (int)strlen(line);
        if (length > 0)
            LogMessage("SM: text: %.*s\n", length, line);
        else
            LogMessage("SM: text:\n");
        if (end == NULL)
            break;
        line = end + 1;
    }
}

int ShowMessage(const char* text, const char* caption, unsigned int type, int silentAnswer) {
    LogBox(text, caption, type);
    if (g_state.silent) {
        LogMessage("SM: answer: %d (%s), silent\n", silentAnswer, AnswerName(silentAnswer));
        return silentAnswer;
    }
    // The user may end the run instead of answering: the trace so far is on disk.
    FlushLog();
    int answer = MessageBoxA(NULL, text, caption, type);
    LogMessage("SM: answer: %d (%s), given\n", answer, AnswerName(answer));
    return answer;
}

void ShowWarning(const char* text) {
    LoadText(IDS_CAPTION_WARNING, g_state.caption, TEXT_CAPACITY);
    ShowMessage(text, g_state.caption, MB_OK | MB_ICONEXCLAMATION, IDOK);
}

void FatalError(const char* message) {
    LoadText(IDS_CAPTION_FATAL, g_state.caption, TEXT_CAPACITY);
    LoadText(IDS_UNINSTALL_FAILED, g_state.secondText, TEXT_CAPACITY);
    const char* text = g_state.secondText;
    if (strlen(message) + strlen(g_state.secondText) + 3 < (size_t)TEXT_CAPACITY) {
        strcpy(g_state.messageText, message);
        strcat(g_state.messageText, "\n\n");
        strcat(g_state.messageText, g_state.secondText);
        text = g_state.messageText;
    }
    ShowMessage(text, g_state.caption, MB_OK | MB_ICONHAND, IDOK);
    EndLog();
    ExitProcess(EXIT_FATAL);
}

const char* ComposeFromTemplate(unsigned int stringId, const char* argument) {
    LoadText(stringId, g_state.secondText, TEXT_CAPACITY);
    if (strlen(argument) + strlen(g_state.secondText) + 1 >= (size_t)TEXT_CAPACITY)
        return g_state.secondText;
    sprintf(g_state.messageText, g_state.secondText, argument);
    return g_state.messageText;
}
