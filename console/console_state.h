#pragma once

// Window-wide state the message tabs share. It lives on the GUI thread.
class ConsoleState {
public:
    // The record number last chosen in the pending or the sent list (0 until then). The pending tab's
    // modify and bar act on it, whichever list set it.
    int selectedMessage() const { return selected_message_; }
    void setSelectedMessage(int n) { selected_message_ = n; }

private:
    int selected_message_ = 0;
};
