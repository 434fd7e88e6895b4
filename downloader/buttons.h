// The five buttons of the downloader window and their commands.
#pragma once

#include "ui/cButton.h"

// Starts the download (again after a pause).
class cBtnStart : public cButton {
public:
    cBtnStart() : cButton(146) {}
    void OnExecute() override;
};

// Stops the download; the next Start resumes from the files on disk.
class cBtnPause : public cButton {
public:
    cBtnPause() : cButton(150) {}
    void OnCreate() override;
    void OnExecute() override;
};

// Asks whether to leave, as a close request does.
class cBtnCancel : public cButton {
public:
    cBtnCancel() : cButton(134) {}
    void OnExecute() override;
};

// Starts the downloaded installer with the highest rights the user grants, and closes.
class cBtnLaunch : public cButton {
public:
    cBtnLaunch() : cButton(142) {}
    void OnCreate() override;
    void OnExecute() override;
};

// Lets the user choose the download folder.
class cBtnFolder : public cButton {
public:
    cBtnFolder() : cButton(138) {}
    void OnExecute() override;
};
