// The image operations' failures as message texts.
#include "app/message_area.h"

#include "app/message_format.h"
#include "ui/backend.h"

void MessageArea::ShowImageMessage(ImageMessage message, const char* path)
{
    const UINT id = static_cast<UINT>(message);
    if (message == IMAGE_MESSAGE_CANNOT_OPEN) {
        Show(FormatMessageText(MessageText(id), {MessageArgument::Text(UiTextFromAnsi(path))}), id);
        return;
    }
    Show(MessageText(id), id);
}
