<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Application</name>
    <message>
        <source>no serial port at %1: not a serial device or pseudo-terminal</source>
        <translation>keine serielle Schnittstelle unter %1: weder ein serielles Gerät noch ein Pseudo-Terminal</translation>
    </message>
    <message>
        <source>--open needs a port: give --port PATH or --simulate</source>
        <translation>--open braucht eine Schnittstelle: --port PFAD oder --simulate angeben</translation>
    </message>
    <message>
        <source>cannot create the virtual clock: %1</source>
        <translation>die virtuelle Uhr lässt sich nicht anlegen: %1</translation>
    </message>
    <message>
        <source>--sync without a window needs a port: give --port PATH or --simulate</source>
        <translation>--sync ohne Fenster braucht eine Schnittstelle: --port PFAD oder --simulate angeben</translation>
    </message>
</context>
<context>
    <name>ColorWell</name>
    <message>
        <source>Choose a colour</source>
        <translation>Farbe wählen</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Try &apos;halodial --help&apos; for more information.</source>
        <translation>„halodial --help“ liefert weitere Informationen.</translation>
    </message>
    <message>
        <source>Drives a six-digit tube clock over a serial port.
Qt&apos;s options, such as -platform offscreen, are accepted as well.</source>
        <translation>Steuert eine sechsstellige Röhrenuhr über eine serielle Schnittstelle.
Qts eigene Optionen wie -platform offscreen werden ebenfalls angenommen.</translation>
    </message>
    <message>
        <source>Start the built-in virtual clock and show it beside the window.</source>
        <translation>Die eingebaute virtuelle Uhr starten und neben dem Fenster zeigen.</translation>
    </message>
    <message>
        <source>Choose the serial port at PATH at start (a serial device or pseudo-terminal).</source>
        <translation>Beim Start die serielle Schnittstelle unter PFAD wählen (ein serielles Gerät oder ein Pseudo-Terminal).</translation>
    </message>
    <message>
        <source>PATH</source>
        <extracomment>The value of --port, as the option&apos;s description names it.</extracomment>
        <translation>PFAD</translation>
    </message>
    <message>
        <source>Open the chosen port.</source>
        <translation>Die gewählte Schnittstelle öffnen.</translation>
    </message>
    <message>
        <source>Start sending the time to the clock.</source>
        <translation>Sofort beginnen, der Uhr die Uhrzeit zu senden.</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>unerwartetes Argument „%1“</translation>
    </message>
    <message>
        <source>--port needs a PATH</source>
        <translation>--port braucht einen PFAD</translation>
    </message>
    <message>
        <source>Run without a window or display (a clock on a server).</source>
        <translation>Ohne Fenster und ohne Bildschirm laufen (eine Uhr an einem Server).</translation>
    </message>
    <message>
        <source>Wait for the port&apos;s device when it is absent or goes away, and reopen it, instead of exiting.</source>
        <translation>Auf das Gerät der Schnittstelle warten, wenn es fehlt oder verschwindet, und es wieder öffnen, statt sich zu beenden.</translation>
    </message>
    <message>
        <source>Set the tube colours: RRGGBB for every tube, or six of them separated by commas; kept like colours picked in the window.</source>
        <translation>Die Röhrenfarben setzen: RRGGBB für alle Röhren oder sechs davon, durch Kommas getrennt; sie bleiben gespeichert wie im Fenster gewählte Farben.</translation>
    </message>
    <message>
        <source>Start from the default settings.</source>
        <translation>Mit den Standardeinstellungen beginnen.</translation>
    </message>
    <message>
        <source>--colors needs RRGGBB or six RRGGBB separated by commas, not &apos;%1&apos;</source>
        <translation>--colors erwartet RRGGBB oder sechs RRGGBB, durch Kommas getrennt, nicht „%1“</translation>
    </message>
    <message>
        <source>Send each time frame MS milliseconds earlier again (0 to 100), for an adapter with a delay of its own; kept like the window&apos;s choice.</source>
        <translation>Jeden Zeitrahmen zusätzlich MS Millisekunden früher senden (0 bis 100), für einen Adapter mit eigener Verzögerung; wird wie die Wahl im Fenster gespeichert.</translation>
    </message>
    <message>
        <source>MS</source>
        <extracomment>The value of --lead-ms, as the option&apos;s description names it.</extracomment>
        <translation>MS</translation>
    </message>
    <message>
        <source>--lead-ms needs a whole number of milliseconds from 0 to %1, not &apos;%2&apos;</source>
        <translation>--lead-ms braucht eine ganze Zahl von Millisekunden zwischen 0 und %1, nicht &apos;%2&apos;</translation>
    </message>
    <message>
        <source>COLOURS</source>
        <extracomment>The value of --colours, as the option&apos;s description names it.</extracomment>
        <translation>FARBEN</translation>
    </message>
    <message>
        <source>Show the time in 24 or 12 hours (12-space: no leading zero).</source>
        <translation>Die Uhrzeit in 24 oder 12 Stunden zeigen (12-space: ohne führende Null).</translation>
    </message>
    <message>
        <source>Show the date every MIN minutes for SEC seconds, or off.</source>
        <translation>Das Datum alle MIN Minuten für SEC Sekunden zeigen, oder off.</translation>
    </message>
    <message>
        <source>The order of day, month and year: locale, DDMMYY, MMDDYY or YYMMDD.</source>
        <translation>Die Reihenfolge von Tag, Monat und Jahr: locale, DDMMYY, MMDDYY oder YYMMDD.</translation>
    </message>
    <message>
        <source>Show the date in this colour (RRGGBB), or none.</source>
        <translation>Das Datum in dieser Farbe (RRGGBB) zeigen, oder none.</translation>
    </message>
    <message>
        <source>Night from HH:MM to HH:MM (across midnight when the first is later), or off.</source>
        <translation>Nacht von HH:MM bis HH:MM (über Mitternacht, wenn die erste Zeit die spätere ist), oder off.</translation>
    </message>
    <message>
        <source>At night dim the tubes to a percentage, show a colour, or turn the backlights off: dim:20, color:RRGGBB or off.</source>
        <translation>Nachts die Röhren auf einen Prozentsatz dimmen, eine Farbe zeigen oder die Beleuchtung ausschalten: dim:20, color:RRGGBB oder off.</translation>
    </message>
    <message>
        <source>Fade into and out of the night over this many seconds.</source>
        <translation>Über so viele Sekunden in die Nacht und aus ihr heraus überblenden.</translation>
    </message>
    <message>
        <source>Colour theme: own, nixie-orange, ice-blue, mint or violet.</source>
        <translation>Farbschema: own, nixie-orange, ice-blue, mint oder violet.</translation>
    </message>
    <message>
        <source>Colour effect with an optional speed from 1 to 10: static, rainbow, hue-wave, breathing or pulse.</source>
        <translation>Farbeffekt mit einer Geschwindigkeit von 1 bis 10 (wahlweise): static, rainbow, hue-wave, breathing oder pulse.</translation>
    </message>
    <message>
        <source>Brightness per tube in percent (10 to 100): one value, or six separated by commas.</source>
        <translation>Helligkeit je Röhre in Prozent (10 bis 100): ein Wert oder sechs, durch Kommas getrennt.</translation>
    </message>
    <message>
        <source>Run every tube through 0 to 9 at HH:MM (or every:HOURS) for SECONDS, to keep nixie cathodes healthy; or off.</source>
        <translation>Jede Röhre um HH:MM (oder every:STUNDEN) für SEKUNDEN durch 0 bis 9 laufen lassen, damit die Kathoden von Nixie-Röhren gesund bleiben; oder off.</translation>
    </message>
    <message>
        <source>VALUE</source>
        <extracomment>The value of a display option, as its description names it.</extracomment>
        <translation>WERT</translation>
    </message>
    <message>
        <source>Show the time in 12 hours (as --hours 12).</source>
        <translation>Die Uhrzeit in 12 Stunden zeigen (wie --hours 12).</translation>
    </message>
    <message>
        <source>Count down for a DURATION (SECONDS, M:SS or H:MM:SS).</source>
        <translation>Eine DAUER herunterzählen (SEKUNDEN, M:SS oder H:MM:SS).</translation>
    </message>
    <message>
        <source>DURATION</source>
        <extracomment>The value of --countdown-for, as the option&apos;s description names it.</extracomment>
        <translation>DAUER</translation>
    </message>
    <message>
        <source>Count down to the next HH:MM.</source>
        <translation>Bis zum nächsten HH:MM herunterzählen.</translation>
    </message>
    <message>
        <source>TIME</source>
        <extracomment>The value of --countdown-to, as the option&apos;s description names it.</extracomment>
        <translation>ZEIT</translation>
    </message>
    <message>
        <source>Start another window even when Halodial runs already, instead of handing this start&apos;s port, --open and --sync to it.</source>
        <translation>Auch dann ein weiteres Fenster öffnen, wenn Halodial schon läuft, statt ihm die Schnittstelle, --open und --sync dieses Starts zu übergeben.</translation>
    </message>
    <message>
        <source>Put the clock on the MQTT broker at URL (mqtt://HOST[:PORT] or mqtts://HOST[:PORT]), announced to Home Assistant.</source>
        <translation>Die Uhr auf den MQTT-Broker unter URL bringen (mqtt://HOST[:PORT] oder mqtts://HOST[:PORT]), Home Assistant bekannt gemacht.</translation>
    </message>
    <message>
        <source>Check an mqtts:// broker&apos;s certificate against the CA in FILE instead of the system&apos;s.</source>
        <translation>Das Zertifikat eines mqtts://-Brokers gegen die Zertifizierungsstelle in FILE statt gegen die des Systems prüfen.</translation>
    </message>
    <message>
        <source>Log in to the broker as the user on the first line of FILE with the password on its second; FILE must have mode 0600.</source>
        <translation>Beim Broker als der Benutzer aus der ersten Zeile von FILE mit dem Passwort aus der zweiten anmelden; FILE muss die Rechte 0600 haben.</translation>
    </message>
    <message>
        <source>The MQTT client id (default: one of the broker&apos;s).</source>
        <translation>Die MQTT-Client-ID (Vorgabe: eine vom Broker vergebene).</translation>
    </message>
    <message>
        <source>Put the clock&apos;s MQTT topics under PREFIX (default: halodial/HOSTNAME).</source>
        <translation>Die MQTT-Topics der Uhr unter PREFIX legen (Vorgabe: halodial/HOSTNAME).</translation>
    </message>
    <message>
        <source>--mqtt-prefix needs a topic without + or # and without a trailing /, not &apos;%1&apos;</source>
        <translation>--mqtt-prefix braucht ein Topic ohne + oder # und ohne / am Ende, nicht &apos;%1&apos;</translation>
    </message>
    <message>
        <source>the --mqtt-… options need --mqtt URL</source>
        <translation>die Optionen --mqtt-… brauchen --mqtt URL</translation>
    </message>
    <message>
        <source>--%1 needs %2, not &apos;%3&apos;</source>
        <translation>--%1 braucht %2, nicht &apos;%3&apos;</translation>
    </message>
    <message>
        <source>--countdown-for needs SECONDS, M:SS or H:MM:SS (up to 99:59:59), not &apos;%1&apos;</source>
        <translation>--countdown-for braucht SEKUNDEN, M:SS oder H:MM:SS (bis 99:59:59), nicht &apos;%1&apos;</translation>
    </message>
    <message>
        <source>--countdown-to needs a time HH:MM, not &apos;%1&apos;</source>
        <translation>--countdown-to braucht eine Uhrzeit HH:MM, nicht &apos;%1&apos;</translation>
    </message>
</context>
<context>
    <name>ConsoleController</name>
    <message>
        <source>Logging to %1 failed: %2</source>
        <translation>Protokollieren in %1 fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Cannot log to %1: %2</source>
        <translation>Protokollieren in %1 nicht möglich: %2</translation>
    </message>
    <message>
        <source>Logging to %1 stopped; %2 bytes did not reach the file.</source>
        <translation>Protokollieren in %1 beendet; %2 Bytes haben die Datei nicht erreicht.</translation>
    </message>
</context>
<context>
    <name>ConsoleLogger</name>
    <message>
        <source>it is a symbolic link</source>
        <translation>es ist eine symbolische Verknüpfung</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine reguläre Datei</translation>
    </message>
</context>
<context>
    <name>ConsoleSearchBar</name>
    <message>
        <source>Find:</source>
        <translation>Suchen:</translation>
    </message>
    <message>
        <source>Find in the console</source>
        <translation>In der Konsole suchen</translation>
    </message>
    <message>
        <source>Text to find</source>
        <translation>Gesuchter Text</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Vorheriger</translation>
    </message>
    <message>
        <source>Find the previous match (Shift+Enter)</source>
        <translation>Zum vorherigen Treffer (Umschalt+Eingabe)</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Nächster</translation>
    </message>
    <message>
        <source>Find the next match (Enter)</source>
        <translation>Zum nächsten Treffer (Eingabe)</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Close the find bar (Escape)</source>
        <translation>Suchleiste schließen (Esc)</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Nicht gefunden</translation>
    </message>
</context>
<context>
    <name>DisplayDialog</name>
    <message>
        <source>Display</source>
        <translation>Anzeige</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Uhrzeit</translation>
    </message>
    <message>
        <source>&amp;Hours</source>
        <translation>&amp;Stunden</translation>
    </message>
    <message>
        <source>Show the &amp;date</source>
        <translation>&amp;Datum zeigen</translation>
    </message>
    <message>
        <source>Every</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source> min</source>
        <translation> min</translation>
    </message>
    <message>
        <source>For</source>
        <translation>Für</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>Order</source>
        <translation>Reihenfolge</translation>
    </message>
    <message>
        <source>Own colour</source>
        <translation>Eigene Farbe</translation>
    </message>
    <message>
        <source>Count&amp;down</source>
        <translation>Count&amp;down</translation>
    </message>
    <message>
        <source>Count</source>
        <translation>Zählen</translation>
    </message>
    <message>
        <source>To</source>
        <translation>Bis</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>&amp;Night</source>
        <translation>&amp;Nacht</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>At night</source>
        <translation>Nachts</translation>
    </message>
    <message>
        <source>Dim to</source>
        <translation>Dimmen auf</translation>
    </message>
    <message>
        <source> %</source>
        <translation> %</translation>
    </message>
    <message>
        <source>Night colour</source>
        <translation>Nachtfarbe</translation>
    </message>
    <message>
        <source>Fade</source>
        <translation>Überblenden</translation>
    </message>
    <message>
        <source>How long the change at either edge takes</source>
        <translation>Wie lange der Wechsel an beiden Grenzen dauert</translation>
    </message>
    <message>
        <source>&amp;Cathode cycle</source>
        <translation>&amp;Kathodenpflege</translation>
    </message>
    <message>
        <source>When</source>
        <translation>Wann</translation>
    </message>
    <message>
        <source>At</source>
        <translation>Um</translation>
    </message>
    <message>
        <source> h</source>
        <translation> h</translation>
    </message>
    <message>
        <source>Colours</source>
        <translation>Farben</translation>
    </message>
    <message>
        <source>&amp;Theme</source>
        <translation>&amp;Schema</translation>
    </message>
    <message>
        <source>&amp;Effect</source>
        <translation>&amp;Effekt</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Tempo</translation>
    </message>
    <message>
        <source>&amp;Brightness per tube</source>
        <translation>&amp;Helligkeit je Röhre</translation>
    </message>
    <message>
        <source>Tube 1</source>
        <translation>Röhre 1</translation>
    </message>
    <message>
        <source>Tube 2</source>
        <translation>Röhre 2</translation>
    </message>
    <message>
        <source>Tube 3</source>
        <translation>Röhre 3</translation>
    </message>
    <message>
        <source>Tube 4</source>
        <translation>Röhre 4</translation>
    </message>
    <message>
        <source>Tube 5</source>
        <translation>Röhre 5</translation>
    </message>
    <message>
        <source>Tube 6</source>
        <translation>Röhre 6</translation>
    </message>
    <message>
        <source>The cathode cycle keeps nixie tubes healthy; on LED-lit tubes it is only a show.</source>
        <translation>Die Kathodenpflege hält Nixie-Röhren gesund; bei Röhren mit LED-Beleuchtung ist sie nur eine Schau.</translation>
    </message>
    <message>
        <source>24 hours</source>
        <translation>24 Stunden</translation>
    </message>
    <message>
        <source>12 hours</source>
        <translation>12 Stunden</translation>
    </message>
    <message>
        <source>12 hours, no leading zero</source>
        <translation>12 Stunden, ohne führende Null</translation>
    </message>
    <message>
        <source>As the language has it</source>
        <translation>Wie in der Sprache üblich</translation>
    </message>
    <message>
        <source>Day, month, year</source>
        <translation>Tag, Monat, Jahr</translation>
    </message>
    <message>
        <source>Month, day, year</source>
        <translation>Monat, Tag, Jahr</translation>
    </message>
    <message>
        <source>Year, month, day</source>
        <translation>Jahr, Monat, Tag</translation>
    </message>
    <message>
        <source>Dim the tubes</source>
        <translation>Röhren dimmen</translation>
    </message>
    <message>
        <source>Show the night colour</source>
        <translation>Nachtfarbe zeigen</translation>
    </message>
    <message>
        <source>Turn the backlights off</source>
        <translation>Beleuchtung ausschalten</translation>
    </message>
    <message>
        <source>Once a day</source>
        <translation>Einmal am Tag</translation>
    </message>
    <message>
        <source>Every few hours</source>
        <translation>Alle paar Stunden</translation>
    </message>
    <message>
        <source>For a duration</source>
        <translation>Eine Dauer</translation>
    </message>
    <message>
        <source>To a time of day</source>
        <translation>Bis zu einer Uhrzeit</translation>
    </message>
    <message>
        <source>Counting down</source>
        <translation>Zählt herunter</translation>
    </message>
    <message>
        <source>Countdown finished</source>
        <translation>Countdown abgelaufen</translation>
    </message>
</context>
<context>
    <name>DisplayText</name>
    <message>
        <source>24, 12 or 12-space</source>
        <translation>24, 12 oder 12-space</translation>
    </message>
    <message>
        <source>off or MIN:SEC (every 1 to 1440 minutes, for 1 to 59 seconds)</source>
        <translation>off oder MIN:SEC (alle 1 bis 1440 Minuten, für 1 bis 59 Sekunden)</translation>
    </message>
    <message>
        <source>locale, DDMMYY, MMDDYY or YYMMDD</source>
        <translation>locale, DDMMYY, MMDDYY oder YYMMDD</translation>
    </message>
    <message>
        <source>none or RRGGBB</source>
        <translation>none oder RRGGBB</translation>
    </message>
    <message>
        <source>off or HH:MM-HH:MM (two different times)</source>
        <translation>off oder HH:MM-HH:MM (zwei verschiedene Zeiten)</translation>
    </message>
    <message>
        <source>dim:PERCENT (1 to 100), color:RRGGBB or off</source>
        <translation>dim:PROZENT (1 bis 100), color:RRGGBB oder off</translation>
    </message>
    <message>
        <source>a number of seconds from 0 to 3600</source>
        <translation>eine Zahl von Sekunden von 0 bis 3600</translation>
    </message>
    <message>
        <source>own, nixie-orange, ice-blue, mint or violet</source>
        <translation>own, nixie-orange, ice-blue, mint oder violet</translation>
    </message>
    <message>
        <source>static, rainbow, hue-wave, breathing or pulse, optionally with :SPEED (1 to 10)</source>
        <translation>static, rainbow, hue-wave, breathing oder pulse, wahlweise mit :TEMPO (1 bis 10)</translation>
    </message>
    <message>
        <source>a percentage from 10 to 100, or six of them separated by commas</source>
        <translation>einen Prozentsatz von 10 bis 100, oder sechs davon, durch Kommas getrennt</translation>
    </message>
    <message>
        <source>off, HH:MM[,SECONDS] or every:HOURS[,SECONDS] (1 to 24 hours, 1 to 3600 seconds)</source>
        <translation>off, HH:MM[,SEKUNDEN] oder every:STUNDEN[,SEKUNDEN] (1 bis 24 Stunden, 1 bis 3600 Sekunden)</translation>
    </message>
    <message>
        <source>Own colours</source>
        <translation>Eigene Farben</translation>
    </message>
    <message>
        <source>Nixie orange</source>
        <translation>Nixie-Orange</translation>
    </message>
    <message>
        <source>Ice blue</source>
        <translation>Eisblau</translation>
    </message>
    <message>
        <source>Mint</source>
        <translation>Mint</translation>
    </message>
    <message>
        <source>Violet</source>
        <translation>Violett</translation>
    </message>
    <message>
        <source>Static</source>
        <translation>Statisch</translation>
    </message>
    <message>
        <source>Rainbow</source>
        <translation>Regenbogen</translation>
    </message>
    <message>
        <source>Hue wave</source>
        <translation>Farbwelle</translation>
    </message>
    <message>
        <source>Breathing</source>
        <translation>Atmen</translation>
    </message>
    <message>
        <source>Pulse</source>
        <translation>Puls</translation>
    </message>
</context>
<context>
    <name>HelpWindows</name>
    <message>
        <source>Halodial Manual</source>
        <translation>Halodial-Handbuch</translation>
    </message>
    <message>
        <source>The manual is not installed here (looked for %1). In a terminal, man halodial shows it.</source>
        <translation>Das Handbuch ist hier nicht installiert (gesucht: %1). Im Terminal zeigt es man halodial.</translation>
    </message>
    <message>
        <source> and </source>
        <translation> und </translation>
    </message>
    <message>
        <source>About Halodial</source>
        <translation>Über Halodial</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Halodial %1&lt;/h3&gt;&lt;p&gt;Drives a six-digit tube clock over a serial port.&lt;/p&gt;&lt;p&gt;Licence: MIT. Qt %2.&lt;/p&gt;&lt;p&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Halodial %1&lt;/h3&gt;&lt;p&gt;Steuert eine sechsstellige Röhrenuhr über eine serielle Schnittstelle.&lt;/p&gt;&lt;p&gt;Lizenz: MIT. Qt %2.&lt;/p&gt;&lt;p&gt;&lt;a href=&quot;%3&quot;&gt;%3&lt;/a&gt;&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>HexInput</name>
    <message>
        <source>&quot;%1&quot; at position %2 is half a byte: write each byte as two hex digits (0A, not A).</source>
        <translation>„%1“ an Position %2 ist ein halbes Byte: Schreiben Sie jedes Byte als zwei Hex-Ziffern (0A, nicht A).</translation>
    </message>
    <message>
        <source>&quot;%1&quot; at position %2 is not a hex byte: use the digits 0-9 and A-F, two for each byte (41 42 0D).</source>
        <translation>„%1“ an Position %2 ist kein Hex-Byte: Verwenden Sie die Ziffern 0–9 und A–F, zwei je Byte (41 42 0D).</translation>
    </message>
</context>
<context>
    <name>HotPlugAnnouncer</name>
    <message>
        <source>Serial Port Connected</source>
        <extracomment>The title of the desktop notification when a serial device is plugged in.</extracomment>
        <translation>Serielle Schnittstelle verbunden</translation>
    </message>
    <message>
        <source>Serial Port %1 was connected to this computer.</source>
        <extracomment>%1 is the port&apos;s name, such as ttyUSB0.</extracomment>
        <translation>Die serielle Schnittstelle %1 wurde mit diesem Computer verbunden.</translation>
    </message>
    <message>
        <source>Serial Port Disconnected</source>
        <extracomment>The title of the desktop notification when a serial device is unplugged.</extracomment>
        <translation>Serielle Schnittstelle getrennt</translation>
    </message>
    <message>
        <source>Serial Port %1 was disconnected from this computer.</source>
        <extracomment>%1 is the port&apos;s name, such as ttyUSB0.</extracomment>
        <translation>Die serielle Schnittstelle %1 wurde von diesem Computer getrennt.</translation>
    </message>
</context>
<context>
    <name>LineSettingsDialog</name>
    <message>
        <source>Line settings</source>
        <translation>Leitungsparameter</translation>
    </message>
    <message>
        <source>&amp;Baud rate</source>
        <translation>&amp;Baudrate</translation>
    </message>
    <message>
        <source>Choose a rate, or type any other the adapter can make</source>
        <translation>Eine Rate wählen oder jede andere eingeben, die der Adapter kann</translation>
    </message>
    <message>
        <source>Data bits</source>
        <translation>Datenbits</translation>
    </message>
    <message>
        <source>&amp;Parity</source>
        <translation>&amp;Parität</translation>
    </message>
    <message>
        <source>&amp;Stop bits</source>
        <translation>&amp;Stoppbits</translation>
    </message>
    <message>
        <source>RTS/CTS &amp;flow control</source>
        <translation>RTS/CTS-&amp;Flusssteuerung</translation>
    </message>
    <message>
        <source>The device holds the computer&apos;s output with CTS, the computer the device&apos;s with RTS</source>
        <translation>Das Gerät hält die Ausgabe des Computers mit CTS an, der Computer die des Geräts mit RTS</translation>
    </message>
    <message>
        <source>&amp;Raise DTR and RTS on open</source>
        <translation>DTR und RTS beim Öffnen &amp;hochsetzen</translation>
    </message>
    <message>
        <source>Many USB devices talk only once DTR is up</source>
        <translation>Viele USB-Geräte sprechen erst, wenn DTR gesetzt ist</translation>
    </message>
    <message>
        <source>Line settings of %1</source>
        <translation>Leitungsparameter von %1</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Odd</source>
        <translation>Ungerade</translation>
    </message>
    <message>
        <source>Even</source>
        <translation>Gerade</translation>
    </message>
</context>
<context>
    <name>LineStatusWidget</name>
    <message>
        <source>Clear To Send, from the device</source>
        <translation>Clear To Send (Sendebereitschaft), vom Gerät</translation>
    </message>
    <message>
        <source>Data Set Ready, from the device</source>
        <translation>Data Set Ready (Betriebsbereitschaft), vom Gerät</translation>
    </message>
    <message>
        <source>Data Carrier Detect, from the device</source>
        <translation>Data Carrier Detect (Trägererkennung), vom Gerät</translation>
    </message>
    <message>
        <source>%1 line</source>
        <translation>%1-Leitung</translation>
    </message>
    <message>
        <source>RTS</source>
        <translation>RTS</translation>
    </message>
    <message>
        <source>RTS line (Request To Send)</source>
        <translation>RTS-Leitung (Request To Send, Sendeanforderung)</translation>
    </message>
    <message>
        <source>DTR</source>
        <translation>DTR</translation>
    </message>
    <message>
        <source>DTR line (Data Terminal Ready)</source>
        <translation>DTR-Leitung (Data Terminal Ready, Terminalbereitschaft)</translation>
    </message>
    <message>
        <source>unavailable</source>
        <translation>nicht verfügbar</translation>
    </message>
    <message>
        <source>on</source>
        <translation>an</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>%1: no open port</source>
        <translation>%1: keine Schnittstelle geöffnet</translation>
    </message>
    <message>
        <source>%1: this device has no modem lines</source>
        <translation>%1: Dieses Gerät hat keine Modemleitungen</translation>
    </message>
    <message>
        <source>%1 is %2</source>
        <translation>%1 ist %2</translation>
    </message>
    <message>
        <source>Request To Send, to the device</source>
        <translation>Request To Send (Sendeanforderung), zum Gerät</translation>
    </message>
    <message>
        <source>Not available on this port</source>
        <translation>An dieser Schnittstelle nicht verfügbar</translation>
    </message>
    <message>
        <source>Data Terminal Ready, to the device</source>
        <translation>Data Terminal Ready (Terminalbereitschaft), zum Gerät</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Serial port of the clock</source>
        <translation>Serielle Schnittstelle der Uhr</translation>
    </message>
    <message>
        <source>&amp;Baud rate</source>
        <translation>&amp;Baudrate</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Clock</source>
        <translation>Uhr</translation>
    </message>
    <message>
        <source>Digit of tube 1</source>
        <translation>Ziffer der Röhre 1</translation>
    </message>
    <message>
        <source>Digit of tube 2</source>
        <translation>Ziffer der Röhre 2</translation>
    </message>
    <message>
        <source>Digit of tube 3</source>
        <translation>Ziffer der Röhre 3</translation>
    </message>
    <message>
        <source>Digit of tube 4</source>
        <translation>Ziffer der Röhre 4</translation>
    </message>
    <message>
        <source>Digit of tube 5</source>
        <translation>Ziffer der Röhre 5</translation>
    </message>
    <message>
        <source>Digit of tube 6</source>
        <translation>Ziffer der Röhre 6</translation>
    </message>
    <message>
        <source>Colour of tube 1</source>
        <translation>Farbe der Röhre 1</translation>
    </message>
    <message>
        <source>Colour of tube 2</source>
        <translation>Farbe der Röhre 2</translation>
    </message>
    <message>
        <source>Colour of tube 3</source>
        <translation>Farbe der Röhre 3</translation>
    </message>
    <message>
        <source>Colour of tube 4</source>
        <translation>Farbe der Röhre 4</translation>
    </message>
    <message>
        <source>Colour of tube 5</source>
        <translation>Farbe der Röhre 5</translation>
    </message>
    <message>
        <source>Colour of tube 6</source>
        <translation>Farbe der Röhre 6</translation>
    </message>
    <message>
        <source>All tubes</source>
        <translation>Alle Röhren</translation>
    </message>
    <message>
        <source>One colour for all six tubes</source>
        <translation>Eine Farbe für alle sechs Röhren</translation>
    </message>
    <message>
        <source>Sync</source>
        <translation>Synchronisieren</translation>
    </message>
    <message>
        <source>Send the computer&apos;s time five times a second</source>
        <translation>Die Uhrzeit des Computers fünfmal pro Sekunde senden</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Stop sending the time</source>
        <translation>Das Senden der Uhrzeit beenden</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Console</source>
        <translation>Konsole</translation>
    </message>
    <message>
        <source>Text to send</source>
        <translation>Zu sendender Text</translation>
    </message>
    <message>
        <source>Line ending</source>
        <translation>Zeilenende</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>What the device sends shows here.</source>
        <translation>Hier erscheint, was das Gerät sendet.</translation>
    </message>
    <message>
        <source>He&amp;x view</source>
        <translation>He&amp;x-Ansicht</translation>
    </message>
    <message>
        <source>Show what the device sends as a hex dump</source>
        <translation>Was das Gerät sendet, als Hex-Dump zeigen</translation>
    </message>
    <message>
        <source>&amp;Timestamps</source>
        <translation>&amp;Zeitstempel</translation>
    </message>
    <message>
        <source>Start each received line (in hex view each chunk) with the time it arrived</source>
        <translation>Jeder empfangenen Zeile (in der Hex-Ansicht jedem Block) die Uhrzeit ihres Eintreffens voranstellen</translation>
    </message>
    <message>
        <source>Read the text to send as hex bytes, such as 41 42 0D</source>
        <translation>Den zu sendenden Text als Hex-Bytes lesen, etwa 41 42 0D</translation>
    </message>
    <message>
        <source>Clear the output (Ctrl+L)</source>
        <translation>Die Ausgabe leeren (Strg+L)</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Problem with the text to send</source>
        <translation>Problem mit dem zu sendenden Text</translation>
    </message>
    <message>
        <source>Console log</source>
        <translation>Konsolenprotokoll</translation>
    </message>
    <message>
        <source>Tube %1 digit</source>
        <translation>Ziffer der Röhre %1</translation>
    </message>
    <message>
        <source>Colour of tube %1</source>
        <translation>Farbe der Röhre %1</translation>
    </message>
    <message>
        <source>All tubes colour</source>
        <translation>Farbe aller Röhren</translation>
    </message>
    <message>
        <source>Serial port</source>
        <translation>Serielle Schnittstelle</translation>
    </message>
    <message>
        <source>Baud rate</source>
        <translation>Baudrate</translation>
    </message>
    <message>
        <source>Open or close the port</source>
        <translation>Die Schnittstelle öffnen oder schließen</translation>
    </message>
    <message>
        <source>Sync the time</source>
        <translation>Die Uhrzeit synchronisieren</translation>
    </message>
    <message>
        <source>Stop the time sync</source>
        <translation>Die Zeitsynchronisation beenden</translation>
    </message>
    <message>
        <source>Save the tubes in the clock</source>
        <translation>Die Röhren in der Uhr speichern</translation>
    </message>
    <message>
        <source>Add the line ending</source>
        <translation>Das Zeilenende anhängen</translation>
    </message>
    <message>
        <source>Send the text</source>
        <translation>Den Text senden</translation>
    </message>
    <message>
        <source>Received text</source>
        <translation>Empfangener Text</translation>
    </message>
    <message>
        <source>Show received bytes as hex</source>
        <translation>Empfangene Bytes hexadezimal zeigen</translation>
    </message>
    <message>
        <source>Show arrival times</source>
        <translation>Ankunftszeiten zeigen</translation>
    </message>
    <message>
        <source>Send the text as hex bytes</source>
        <translation>Den Text als Hex-Bytes senden</translation>
    </message>
    <message>
        <source>Log received bytes to a file</source>
        <translation>Empfangene Bytes in einer Datei protokollieren</translation>
    </message>
    <message>
        <source>Clear the output</source>
        <translation>Die Ausgabe leeren</translation>
    </message>
    <message>
        <source>Hex bytes to send, such as 41 42 0D</source>
        <translation>Zu sendende Hex-Bytes, etwa 41 42 0D</translation>
    </message>
    <message>
        <source>Logging to %1</source>
        <translation>Protokoll wird in %1 geschrieben</translation>
    </message>
    <message>
        <source>Log the console to</source>
        <translation>Konsole protokollieren in</translation>
    </message>
    <message>
        <source>Logs (*.log);;All files (*)</source>
        <translation>Protokolle (*.log);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> ms</translation>
    </message>
    <message>
        <source>Send each time frame this much earlier again, for an adapter with a delay of its own</source>
        <translation>Jeden Zeitrahmen um so viel zusätzlich früher senden, für einen Adapter mit eigener Verzögerung</translation>
    </message>
    <message>
        <source>P&amp;ort</source>
        <translation>Schn&amp;ittstelle</translation>
    </message>
    <message>
        <source>Li&amp;ne settings…</source>
        <translation>Leitu&amp;ngsparameter…</translation>
    </message>
    <message>
        <source>Baud rate, parity, stop bits and flow control of this port</source>
        <translation>Baudrate, Parität, Stoppbits und Flusssteuerung dieser Schnittstelle</translation>
    </message>
    <message>
        <source>Store the digits shown in the tubes in the clock</source>
        <translation>Die Ziffern in den Röhren in der Uhr speichern</translation>
    </message>
    <message>
        <source>Lea&amp;d</source>
        <translation>&amp;Vorlauf</translation>
    </message>
    <message>
        <source>Add l&amp;ine ending</source>
        <translation>Zeilenende anhän&amp;gen</translation>
    </message>
    <message>
        <source>Send &amp;as hex</source>
        <translation>Als Hex s&amp;enden</translation>
    </message>
    <message>
        <source>Local &amp;echo</source>
        <translation>&amp;Lokales Echo</translation>
    </message>
    <message>
        <source>Show what is sent in the output too</source>
        <translation>Auch das Gesendete in der Ausgabe zeigen</translation>
    </message>
    <message>
        <source>Lo&amp;g…</source>
        <translation>&amp;Protokollieren…</translation>
    </message>
    <message>
        <source>Append what the console sends and receives to a file, as the log mode says</source>
        <translation>Was die Konsole sendet und empfängt an eine Datei anhängen, wie die Protokollart sagt</translation>
    </message>
    <message>
        <source>What the log file gets</source>
        <translation>Was in die Protokolldatei kommt</translation>
    </message>
    <message>
        <source>C&amp;lear</source>
        <translation>Lee&amp;ren</translation>
    </message>
    <message>
        <source>Time sync</source>
        <translation>Zeitsynchronisation</translation>
    </message>
    <message>
        <source>Syncing</source>
        <translation>Synchronisiert</translation>
    </message>
    <message>
        <source>Line settings of the port</source>
        <translation>Leitungsparameter der Schnittstelle</translation>
    </message>
    <message>
        <source>Show sent text in the output</source>
        <translation>Gesendeten Text in der Ausgabe zeigen</translation>
    </message>
    <message>
        <source>Log mode</source>
        <translation>Protokollart</translation>
    </message>
    <message>
        <source>Received, raw</source>
        <translation>Empfangenes, roh</translation>
    </message>
    <message>
        <source>Both ways, raw</source>
        <translation>Beide Richtungen, roh</translation>
    </message>
    <message>
        <source>Both ways, marked &gt; and &lt; with times</source>
        <translation>Beide Richtungen, mit &gt; und &lt; und Zeit</translation>
    </message>
    <message>
        <source>Stop lo&amp;g</source>
        <translation>&amp;Protokoll beenden</translation>
    </message>
    <message>
        <source>Stop &amp;logging</source>
        <translation>Protokollieren be&amp;enden</translation>
    </message>
    <message>
        <source>&amp;Log the console…</source>
        <translation>Konsole &amp;protokollieren…</translation>
    </message>
    <message>
        <source>Display…</source>
        <translation>Anzeige…</translation>
    </message>
    <message>
        <source>What the tubes show: 12 or 24 hours, the date, a countdown, the night, colours and effects</source>
        <translation>Was die Röhren zeigen: 12 oder 24 Stunden, das Datum, ein Countdown, die Nacht, Farben und Effekte</translation>
    </message>
    <message>
        <source>Countdown finished</source>
        <translation>Countdown abgelaufen</translation>
    </message>
</context>
<context>
    <name>MqttDialog</name>
    <message>
        <source>MQTT Broker</source>
        <translation>MQTT-Broker</translation>
    </message>
    <message>
        <source>Put the clock on an MQTT broker, where Home Assistant finds it by itself. Leave the broker empty to turn MQTT off.</source>
        <translation>Die Uhr auf einen MQTT-Broker bringen, wo Home Assistant sie von selbst findet. Ohne Broker ist MQTT aus.</translation>
    </message>
    <message>
        <source>&amp;Broker:</source>
        <translation>&amp;Broker:</translation>
    </message>
    <message>
        <source>chosen by the broker</source>
        <translation>vom Broker gewählt</translation>
    </message>
    <message>
        <source>C&amp;lient id:</source>
        <translation>C&amp;lient-ID:</translation>
    </message>
    <message>
        <source>Topic &amp;prefix:</source>
        <translation>Topic-&amp;Präfix:</translation>
    </message>
    <message>
        <source>&amp;Credentials file:</source>
        <translation>&amp;Zugangsdatei:</translation>
    </message>
    <message>
        <source>A file of mode 0600 with the user on its first line and the password on its second. Halodial keeps only the file&apos;s path.</source>
        <translation>Eine Datei mit Modus 0600, in der ersten Zeile der Benutzer, in der zweiten das Passwort. Halodial merkt sich nur den Pfad der Datei.</translation>
    </message>
    <message>
        <source>C&amp;A file:</source>
        <translation>C&amp;A-Datei:</translation>
    </message>
    <message>
        <source>For mqtts://: the CA the broker&apos;s certificate is checked against; the system&apos;s CAs when empty.</source>
        <translation>Für mqtts://: die CA, gegen die das Zertifikat des Brokers geprüft wird; leer die CAs des Systems.</translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation>Wählen…</translation>
    </message>
    <message>
        <source>Choose a File</source>
        <translation>Datei wählen</translation>
    </message>
</context>
<context>
    <name>MqttSettings</name>
    <message>
        <source>--mqtt needs mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not &apos;%1&apos; (user and password go in --mqtt-credentials)</source>
        <translation>--mqtt braucht mqtt://HOST[:PORT] oder mqtts://HOST[:PORT], nicht &apos;%1&apos; (Benutzer und Passwort gehören in --mqtt-credentials)</translation>
    </message>
    <message>
        <source>--mqtt-credentials: %1 is not a readable file</source>
        <translation>--mqtt-credentials: %1 ist keine lesbare Datei</translation>
    </message>
    <message>
        <source>--mqtt-credentials: %1 has mode %2; it holds a password, so it must have mode 0600 (chmod 600 %1)</source>
        <translation>--mqtt-credentials: %1 hat die Rechte %2; sie enthält ein Passwort und muss deshalb die Rechte 0600 haben (chmod 600 %1)</translation>
    </message>
    <message>
        <source>--mqtt-credentials: %1 needs the user on its first line and the password on its second</source>
        <translation>--mqtt-credentials: %1 braucht den Benutzer in der ersten Zeile und das Passwort in der zweiten</translation>
    </message>
    <message>
        <source>the topic prefix needs a topic without + or # and without a trailing /, not &apos;%1&apos;</source>
        <translation>das Topic-Präfix muss ein Topic ohne + oder # und ohne / am Ende sein, nicht &apos;%1&apos;</translation>
    </message>
</context>
<context>
    <name>PortLabel</name>
    <message>
        <source>pts/%1 (pseudo-terminal)</source>
        <translation>pts/%1 (Pseudo-Terminal)</translation>
    </message>
</context>
<context>
    <name>PortProblem</name>
    <message>
        <source>%1 is in use by another program.</source>
        <translation>%1 wird von einem anderen Programm verwendet.</translation>
    </message>
    <message>
        <source>%1 is in use by process %2.</source>
        <translation>%1 wird von Prozess %2 verwendet.</translation>
    </message>
    <message>
        <source>%1 is in use by %2, process %3.</source>
        <translation>%1 wird von %2 (Prozess %3) verwendet.</translation>
    </message>
    <message>
        <source>ModemManager probes new serial devices as modems: stop it (sudo systemctl stop ModemManager) or mark the device to be ignored.</source>
        <translation>ModemManager prüft neue serielle Geräte darauf, ob sie Modems sind: Beenden Sie ihn (sudo systemctl stop ModemManager) oder lassen Sie ihn das Gerät übergehen.</translation>
    </message>
    <message>
        <source>brltty takes some USB serial adapters for Braille displays: remove it (sudo apt remove brltty) unless you use one.</source>
        <translation>brltty hält manche USB-Seriell-Adapter für Braillezeilen: Entfernen Sie es (sudo apt remove brltty), sofern Sie keine Braillezeile benutzen.</translation>
    </message>
    <message>
        <source>Permission denied for %1.</source>
        <translation>Keine Berechtigung für %1.</translation>
    </message>
    <message>
        <source>Permission denied for %1. Add yourself to the group %2 (sudo usermod -aG %2 $USER) and log in again.</source>
        <translation>Keine Berechtigung für %1. Treten Sie der Gruppe %2 bei (sudo usermod -aG %2 $USER) und melden Sie sich neu an.</translation>
    </message>
    <message>
        <source>No device at %1 (unplugged?)</source>
        <translation>Kein Gerät unter %1 (ausgesteckt?)</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1 is set to exclusive use, but no program holds it. Unplug it and plug it in again, or clear the flag as root: sudo python3 -c &apos;import fcntl, os, termios; fcntl.ioctl(os.open(&quot;%1&quot;, os.O_RDWR | os.O_NONBLOCK | os.O_NOCTTY), termios.TIOCNXCL)&apos;</source>
        <translation>%1 ist für exklusive Nutzung gesperrt, aber kein Programm hält es. Stecken Sie es aus und wieder ein, oder heben Sie die Sperre als root auf: sudo python3 -c &apos;import fcntl, os, termios; fcntl.ioctl(os.open(&quot;%1&quot;, os.O_RDWR | os.O_NONBLOCK | os.O_NOCTTY), termios.TIOCNXCL)&apos;</translation>
    </message>
</context>
<context>
    <name>PortSelector</name>
    <message>
        <source>Choose a port</source>
        <translation>Schnittstelle wählen</translation>
    </message>
</context>
<context>
    <name>PortStatus</name>
    <message>
        <source>No port chosen.</source>
        <translation>Keine Schnittstelle gewählt.</translation>
    </message>
    <message>
        <source>%1 is closed.</source>
        <translation>%1 ist geschlossen.</translation>
    </message>
    <message>
        <source>Opening %1…</source>
        <translation>%1 wird geöffnet…</translation>
    </message>
    <message>
        <source>%1 is open.</source>
        <translation>%1 ist geöffnet.</translation>
    </message>
    <message>
        <source>%1 is gone (unplugged or hung up).</source>
        <translation>%1 ist nicht mehr da (ausgesteckt oder Verbindung beendet).</translation>
    </message>
    <message>
        <source>Waiting for %1 to come back…</source>
        <translation>Warten, bis %1 wieder da ist…</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Open (no port chosen)</source>
        <translation>Öffnen (keine Schnittstelle gewählt)</translation>
    </message>
    <message>
        <source>Close %1</source>
        <translation>%1 schließen</translation>
    </message>
    <message>
        <source>Stop waiting for %1</source>
        <translation>Nicht mehr auf %1 warten</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>%1 öffnen</translation>
    </message>
</context>
<context>
    <name>ReconnectWatcher</name>
    <message>
        <source>%1 is a pseudo-terminal named by its number, which the system hands to the next terminal made, perhaps someone else&apos;s: it is not waited for. Give a symbolic link to it instead (socat&apos;s link=).</source>
        <translation>%1 ist ein Pseudo-Terminal, das mit seiner Nummer benannt ist; das System gibt diese Nummer dem nächsten Terminal, das entsteht, vielleicht dem eines anderen: darauf wird nicht gewartet. Geben Sie stattdessen eine symbolische Verknüpfung darauf an (socats link=).</translation>
    </message>
</context>
<context>
    <name>RemoteArguments</name>
    <message>
        <source>give one colour for every tube or six, one per tube, not %1</source>
        <translation>eine Farbe für alle Röhren oder sechs, eine je Röhre, nicht %1</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a colour: give six hex digits, RRGGBB</source>
        <translation>„%1“ ist keine Farbe: sechs Hexadezimalziffern angeben, RRGGBB</translation>
    </message>
    <message>
        <source>&apos;%1&apos; cannot be shown: give one to six digits 0 to 9 (a space for a dark tube)</source>
        <translation>&apos;%1&apos; lässt sich nicht zeigen: ein bis sechs Ziffern 0 bis 9 angeben (ein Leerzeichen für eine dunkle Röhre)</translation>
    </message>
    <message>
        <source>a countdown lasts 1 to 359999 seconds (99:59:59), not %1</source>
        <translation>ein Countdown dauert 1 bis 359999 Sekunden (99:59:59), nicht %1</translation>
    </message>
</context>
<context>
    <name>RemoteControlObject</name>
    <message>
        <source>this Halodial runs without a window (the headless service)</source>
        <translation>dieses Halodial läuft ohne Fenster (als Dienst ohne Anzeige)</translation>
    </message>
    <message>
        <source>%1 takes the arguments (%2), not (%3)</source>
        <translation>%1 nimmt die Argumente (%2), nicht (%3)</translation>
    </message>
    <message>
        <source>no method %1 in %2</source>
        <translation>keine Methode %1 in %2</translation>
    </message>
    <message>
        <source>no property %1 in %2</source>
        <translation>keine Eigenschaft %1 in %2</translation>
    </message>
    <message>
        <source>the property %1 is read-only</source>
        <translation>die Eigenschaft %1 ist nur lesbar</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>no serial port at %1: not a serial device or pseudo-terminal</source>
        <translation>keine serielle Schnittstelle unter %1: weder ein serielles Gerät noch ein Pseudo-Terminal</translation>
    </message>
    <message>
        <source>no port is chosen: give the port&apos;s path</source>
        <translation>keine Schnittstelle gewählt: den Pfad der Schnittstelle angeben</translation>
    </message>
</context>
<context>
    <name>RemoteProperties</name>
    <message>
        <source>the value must be %1</source>
        <translation>der Wert muss %1 sein</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not %2</source>
        <translation>&apos;%1&apos; ist nicht %2</translation>
    </message>
</context>
<context>
    <name>SerialPortDemoController</name>
    <message>
        <source>Halodial Help</source>
        <translation>Halodial-Hilfe</translation>
    </message>
    <message>
        <source>For More Help , please visit &apos;%1&apos;</source>
        <translation>Weitere Hilfe finden Sie unter „%1“.</translation>
    </message>
    <message>
        <source>The tubes hold text that cannot be sent (a broken character); nothing was sent.</source>
        <translation>Die Röhren enthalten Text, der sich nicht senden lässt (ein defektes Zeichen); es wurde nichts gesendet.</translation>
    </message>
    <message>
        <source>%1 went away (unplugged or hung up).</source>
        <translation>%1 ist verschwunden (ausgesteckt oder Verbindung beendet).</translation>
    </message>
</context>
<context>
    <name>SettingsKeeper</name>
    <message>
        <source>cannot write the settings to %1</source>
        <translation>die Einstellungen können nicht nach %1 geschrieben werden</translation>
    </message>
    <message>
        <source>the settings in %1 hold display values that are not valid (%2); their defaults are used</source>
        <translation>die Einstellungen in %1 enthalten ungültige Anzeigewerte (%2); ihre Vorgaben werden verwendet</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>cannot read the settings in %1: not a regular file; the defaults are used and nothing is saved</source>
        <translation>die Einstellungen in %1 können nicht gelesen werden: keine reguläre Datei; es gelten die Voreinstellungen, und nichts wird gespeichert</translation>
    </message>
    <message>
        <source>cannot read the settings in %1 (kept as %2); the defaults are used</source>
        <translation>die Einstellungen in %1 können nicht gelesen werden (aufbewahrt als %2); es gelten die Voreinstellungen</translation>
    </message>
    <message>
        <source>cannot read the settings in %1; the defaults are used</source>
        <translation>die Einstellungen in %1 können nicht gelesen werden; es gelten die Voreinstellungen</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>no port</source>
        <translation>keine Schnittstelle</translation>
    </message>
    <message>
        <source>Halodial already runs as a service for this user (port: %1, %2). Change it with halodialctl, or stop the service (systemctl --user stop halodial) before starting the window; --new-instance starts a window all the same.</source>
        <translation>Halodial läuft für diesen Benutzer schon als Dienst (Schnittstelle: %1, %2). Ändern Sie ihn mit halodialctl oder beenden Sie den Dienst (systemctl --user stop halodial), bevor Sie das Fenster starten; --new-instance startet trotzdem ein Fenster.</translation>
    </message>
</context>
<context>
    <name>SystemClockWatch</name>
    <message>
        <source>System clock not synchronised: the tubes show this computer&apos;s time, which may be off</source>
        <translation>Systemuhr nicht synchronisiert: Die Röhren zeigen die Zeit dieses Computers, die abweichen kann</translation>
    </message>
    <message>
        <source>System clock synchronised (±%1 ms)</source>
        <translation>Systemuhr synchronisiert (±%1 ms)</translation>
    </message>
</context>
<context>
    <name>VirtualClockWindow</name>
    <message>
        <source>Device</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Last frame</source>
        <translation>Letztes Telegramm</translation>
    </message>
    <message>
        <source>Received</source>
        <translation>Empfangen</translation>
    </message>
    <message>
        <source>Unparseable</source>
        <translation>Unlesbar</translation>
    </message>
    <message>
        <source>%1 frame at %2</source>
        <extracomment>%1 is the kind of frame, &quot;Save&quot; or &quot;Time&quot; (translated below), %2 the time it came.</extracomment>
        <translation>%1telegramm um %2</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speicher</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>None yet</source>
        <translation>Noch keines</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <extracomment>The frame counts, such as &quot;3 time frames, 1 save frame&quot;.</extracomment>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Nichts</translation>
    </message>
    <message>
        <source>Unplugged: %1</source>
        <translation>Ausgesteckt: %1</translation>
    </message>
    <message>
        <source>Unplugged</source>
        <translation>Ausgesteckt</translation>
    </message>
    <message>
        <source>Unplug</source>
        <translation>Ausstecken</translation>
    </message>
    <message>
        <source>Plug in</source>
        <translation>Einstecken</translation>
    </message>
    <message numerus="yes">
        <source>%n time frame(s)</source>
        <translation>
            <numerusform>%n Zeittelegramm</numerusform>
            <numerusform>%n Zeittelegramme</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n save frame(s)</source>
        <translation>
            <numerusform>%n Speichertelegramm</numerusform>
            <numerusform>%n Speichertelegramme</numerusform>
        </translation>
    </message>
    <message>
        <source>“%1”</source>
        <extracomment>Quotation marks around the unparseable bytes.</extracomment>
        <translation>„%1“</translation>
    </message>
    <message numerus="yes">
        <source>%1
The last of %n piece(s)</source>
        <extracomment>%1 is the last unparseable piece of text, in quotation marks.</extracomment>
        <translation>
            <numerusform>%1
Das einzige Bruchstück</numerusform>
            <numerusform>%1
Das letzte von %n Bruchstücken</numerusform>
        </translation>
    </message>
    <message>
        <source>Virtual clock — Halodial</source>
        <translation>Virtuelle Uhr — Halodial</translation>
    </message>
</context>
<context>
    <name>WindowMenus</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Log the console…</source>
        <translation>Konsole &amp;protokollieren…</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Port</source>
        <translation>&amp;Schnittstelle</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Li&amp;ne settings…</source>
        <translation>&amp;Leitungsparameter…</translation>
    </message>
    <message>
        <source>&amp;Clock</source>
        <translation>&amp;Uhr</translation>
    </message>
    <message>
        <source>&amp;Sync</source>
        <translation>&amp;Synchronisieren</translation>
    </message>
    <message>
        <source>Sa&amp;ve the digits in the clock</source>
        <translation>Ziffern in der Uhr s&amp;peichern</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>He&amp;x view</source>
        <translation>He&amp;x-Ansicht</translation>
    </message>
    <message>
        <source>&amp;Timestamps</source>
        <translation>&amp;Zeitstempel</translation>
    </message>
    <message>
        <source>Local &amp;echo</source>
        <translation>&amp;Lokales Echo</translation>
    </message>
    <message>
        <source>Send &amp;as hex</source>
        <translation>Als Hex s&amp;enden</translation>
    </message>
    <message>
        <source>&amp;Find…</source>
        <translation>&amp;Suchen…</translation>
    </message>
    <message>
        <source>Find &amp;next</source>
        <translation>&amp;Weitersuchen</translation>
    </message>
    <message>
        <source>Find &amp;previous</source>
        <translation>&amp;Rückwärts suchen</translation>
    </message>
    <message>
        <source>C&amp;lear the output</source>
        <translation>Ausgabe lös&amp;chen</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Halodial &amp;Help</source>
        <translation>Halodial-&amp;Hilfe</translation>
    </message>
    <message>
        <source>Halodial &amp;Manual</source>
        <translation>Halodial-Hand&amp;buch</translation>
    </message>
    <message>
        <source>&amp;About Halodial</source>
        <translation>&amp;Über Halodial</translation>
    </message>
    <message>
        <source>&amp;Display…</source>
        <translation>&amp;Anzeige…</translation>
    </message>
    <message>
        <source>&amp;MQTT broker…</source>
        <translation>&amp;MQTT-Broker…</translation>
    </message>
</context>
</TS>
