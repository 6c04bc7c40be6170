#include "ui/message_box_params.h"

#include <cstring>

EngineMessageBoxParams::EngineMessageBoxParams()
    : helpContextId(0), timeoutSeconds(0), disabledSeconds(0), x(0), y(0), options(0), stringModule(nullptr),
      iconModule(nullptr), iconId(0), iconName{}, customButtonsId(0), customButtons{}, reportCaptionId(0),
      reportCaption{}, registryName{}, answerKey(nullptr), answerKeyNumber(0), reportData(0),
      reportCallback(nullptr), textColour(0xFFFFFFFF), backgroundColour(0xFFFFFFFF), useCustomCaptions(0),
      customCaptions{}
{
}

void SetParamsText(char (&field)[kParamsTextSize], const char* text)
{
    std::memset(field, 0, sizeof field);
    if (text)
        std::strncpy(field, text, sizeof field - 1);
}
