<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>VirtualClockWindow</name>
    <message numerus="yes">
        <source>%n time frame(s)</source>
        <translation>
            <numerusform>%n time frame</numerusform>
            <numerusform>%n time frames</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n save frame(s)</source>
        <translation>
            <numerusform>%n save frame</numerusform>
            <numerusform>%n save frames</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1
The last of %n piece(s)</source>
        <extracomment>%1 is the last unparseable piece of text, in quotation marks.</extracomment>
        <translation>
            <numerusform>%1
The last of %n piece</numerusform>
            <numerusform>%1
The last of %n pieces</numerusform>
        </translation>
    </message>
</context>
</TS>
