// Where the update's steps put their texts: the main dialog's message area, or the report of the
// technician's tool, which runs the same steps without a dialog. Texts are the program's messages
// 4000-4017 (UTF-8), each shown whole and replacing the one before.
#pragma once

#include <string>

#include "image/image_message_sink.h"
#include "platform/win32_types.h"

class MessageArea : public ImageMessageSink {
public:
    // The text of message `id` as the program's resources hold it, not yet formatted.
    virtual std::string MessageText(UINT id) = 0;
    // Replaces the text shown; `id` says which message it is.
    virtual void Show(const std::string& text, UINT id) = 0;

    // ImageMessageSink: the image operations' failures, 4003 formatted with the path.
    void ShowImageMessage(ImageMessage message, const char* path) override;

protected:
    ~MessageArea() = default;
};
