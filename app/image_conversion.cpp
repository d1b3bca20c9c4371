// The conversion step shared by the main dialog and the technician's tool.
#include "app/image_conversion.h"

#include "app/message_area.h"
#include "app/message_format.h"
#include "app/res/resource.h"
#include "image/firmware_image.h"
#include "image/mot_convert.h"
#include "ui/backend.h"

BOOL ConvertImageFile(ImageCommandLine* options, MessageArea& area)
{
    const char* input = options->imagePath;
    ImageConversionName formed = ImageFormConversionName(options);
    MessageArgument inputText = MessageArgument::Text(UiTextFromAnsi(input ? input : ""));
    // The refusal still names the output as far as it can be formed.
    if (formed != IMAGE_CONVERSION_NAME_READY) {
        char refused[MAX_PATH] = "";
        if (input && ImageMakeBinName(refused, input, ".bin"))
            ImageLowerOutputName(refused);
        MessageArgument outputText = MessageArgument::Text(UiTextFromAnsi(refused));
        area.Show(FormatMessageText(area.MessageText(IDS_CONVERSION_FAILED), {inputText, outputText}),
                  IDS_CONVERSION_FAILED);
        return FALSE;
    }
    MessageArgument outputText = MessageArgument::Text(UiTextFromAnsi(options->nameBuffer));
    area.Show(FormatMessageText(area.MessageText(IDS_CONVERTING), {inputText, outputText}), IDS_CONVERTING);
    if (MotConvertFile(input, options->nameBuffer, FIRMWARE_IMAGE_CAPACITY) != MOT_OK) {
        area.Show(FormatMessageText(area.MessageText(IDS_CONVERSION_FAILED), {inputText, outputText}),
                  IDS_CONVERSION_FAILED);
        return FALSE;
    }
    area.Show(FormatMessageText(area.MessageText(IDS_CONVERSION_FINISHED), {inputText, outputText}),
              IDS_CONVERSION_FINISHED);
    options->imagePath = options->nameBuffer;
    return TRUE;
}
