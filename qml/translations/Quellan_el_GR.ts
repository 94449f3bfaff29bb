<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="el_GR">
<context>
    <name>GUIManager</name>
    <message>
        <source>Initializing</source>
        <translation>Αρχικοποίηση</translation>
    </message>
</context>
</TS>
