// Where the image operations report a failure: the main dialog implements this interface and puts
// the text of the message into its message area, replacing what was there. The image operations know
// only the message numbers of the application's string table.
#pragma once

enum ImageMessage {
    IMAGE_MESSAGE_CANNOT_OPEN = 4003,    // the file cannot be opened; carries the path
    IMAGE_MESSAGE_READ_FAILED = 4004,    // reading the file failed
    IMAGE_MESSAGE_SEEK_FAILED = 4005,    // finding the file's size failed
    IMAGE_MESSAGE_INVALID_SIZE = 4006,   // the size does not suit the layout
    IMAGE_MESSAGE_INVALID_IMAGE = 4007,  // the identification block does not match
};

class ImageMessageSink {
public:
    // Shows message `message`. `path` fills the %s of IMAGE_MESSAGE_CANNOT_OPEN and is null otherwise.
    virtual void ShowImageMessage(ImageMessage message, const char* path) = 0;

protected:
    ~ImageMessageSink() = default;
};
