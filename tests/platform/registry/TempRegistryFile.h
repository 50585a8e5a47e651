#pragma once
// The settings store on a file in a fresh temporary folder for one test, with the message boxes
// shown meanwhile recorded (and answered OK); both are put back afterwards.

#include "MessageBoxRecorder.h"
#include "TempSettingsFile.h"

#include <string>
#include <vector>

class TempRegistryFile : public TempSettingsFile {
public:
    // "caption: text" of each box shown so far.
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const RecordedMessageBox &box : Shown.Boxes)
            out.push_back(box.Caption + ": " + box.Text);
        return out;
    }

    MessageBoxRecorder Shown;
};
