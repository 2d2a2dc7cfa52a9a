<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Application</name>
    <message>
        <source>no serial port at %1: not a serial device or pseudo-terminal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--open needs a port: give --port PATH or --simulate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot create the virtual clock: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Halodial</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial port of the clock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Baud rate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clock</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Digit of tube 1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Digit of tube 2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Digit of tube 3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Digit of tube 4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Digit of tube 5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Digit of tube 6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Colour of tube 1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Colour of tube 2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Colour of tube 3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Colour of tube 4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Colour of tube 5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Colour of tube 6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All tubes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>One colour for all six tubes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send the computer&apos;s time five times a second</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop sending the time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send the digits in the tubes as a save frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Console</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Text to send</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Line ending</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add line ending</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What the device sends shows here.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PortSelector</name>
    <message>
        <source>Choose a port</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SerialPortDemoController</name>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Halodial Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>For More Help , please visit &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Port Connected</source>
        <extracomment>Serial Port Connected</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Port Disconnected</source>
        <extracomment>Serial Port Disconnected</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VirtualClockWindow</name>
    <message>
        <source>Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Received</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unparseable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 frame at %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 time frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 time frames</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 save frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 save frames</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1
The last of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 piece</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 pieces</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unplugged: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unplugged</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unplug</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Plug in</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
