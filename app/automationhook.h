#pragma once

class QObject;

// Gives an installed automation plugin the chance to open its port inside this process.
// Never stops start-up; without the plugin it is silent.
void loadAutomationPlugin(int port, QObject *parent);
