<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="it_IT">
<context>
    <name>AlertTexts</name>
    <message>
        <source>(ore %1)</source>
        <translation>(at %1)</translation>
    </message>
    <message>
        <source>Ore %1</source>
        <translation>At %1</translation>
    </message>
    <message>
        <source>dalle %1 del %2.</source>
        <translation>since %1 on %2.</translation>
    </message>
</context>
<context>
    <name>ChromeLook</name>
    <message>
        <source>Info su Corvane</source>
        <translation>About Corvane</translation>
    </message>
    <message>
        <source>Visita il sito</source>
        <translation>Visit the website</translation>
    </message>
</context>
<context>
    <name>FileErrors</name>
    <message>
        <source>Collegamento simbolico rifiutato: eseguito come root, Corvane non segue collegamenti nella sua cartella</source>
        <translation>Symbolic link refused: running as root, Corvane follows no links in its folder</translation>
    </message>
</context>
<context>
    <name>TCheckTarget</name>
    <message>
        <source>La porta deve essere un numero da 1 a 65535</source>
        <translation>The port must be a number from 1 to 65535</translation>
    </message>
    <message>
        <source>L&apos;indirizzo web non ha un host</source>
        <translation>The web address has no host</translation>
    </message>
    <message>
        <source>L&apos;indirizzo tra parentesi quadre non è chiuso</source>
        <translation>The address in square brackets is not closed</translation>
    </message>
    <message>
        <source>L&apos;indirizzo web non può contenere spazi</source>
        <translation>The web address cannot contain spaces</translation>
    </message>
</context>
<context>
    <name>TLatencyTip</name>
    <message>
        <source>dalle %1</source>
        <translation>since %1</translation>
    </message>
    <message>
        <source>dalle %1 del %2</source>
        <translation>since %1 on %2</translation>
    </message>
    <message>
        <source>Non ancora controllata.</source>
        <translation>Not checked yet.</translation>
    </message>
    <message>
        <source>Ultimo giro: </source>
        <translation>Last round: </translation>
    </message>
    <message>
        <source>%1/%2 risposte</source>
        <translation>%1/%2 answers</translation>
    </message>
    <message>
        <source>Senza risposta: %1 %2 su %3 (%4%)</source>
        <translation>Unanswered: %1 %2 of %3 (%4%)</translation>
    </message>
    <message>
        <source>giro</source>
        <translation>round</translation>
    </message>
    <message>
        <source>giri</source>
        <translation>rounds</translation>
    </message>
    <message>
        <source>Risponde %1</source>
        <translation>Answering %1</translation>
    </message>
    <message>
        <source>Risponde</source>
        <translation>Answering</translation>
    </message>
    <message>
        <source>Non risponde %1</source>
        <translation>Not answering %1</translation>
    </message>
    <message>
        <source>Non risponde</source>
        <translation>Not answering</translation>
    </message>
    <message>
        <source>Non ha ancora risposto</source>
        <translation>Has not answered yet</translation>
    </message>
    <message>
        <source>Nessuna risposta nell&apos;ultimo giro</source>
        <translation>No answer in the last round</translation>
    </message>
    <message>
        <source>Nessuna risposta negli ultimi %1 giri</source>
        <translation>No answers in the last %1 rounds</translation>
    </message>
    <message>
        <source>Tempo medio dell&apos;ultimo giro</source>
        <translation>Mean time of the last round</translation>
    </message>
    <message>
        <source>Tempo medio degli ultimi %1 giri</source>
        <translation>Mean time of the last %1 rounds</translation>
    </message>
</context>
<context>
    <name>TextLocale</name>
    <message>
        <source>dd/MM/yyyy</source>
        <extracomment>The pattern of a date in QDate::toString&apos;s letters; the month&apos;s name, if any, comes in the same language.</extracomment>
        <translation>d MMM yyyy</translation>
    </message>
</context>
<context>
    <name>Tform_checkupdate_interno</name>
    <message>
        <source>Controllo aggiornamenti, al momento non ci sono novità.<byte value="xd"/>
Maggiori info sul sito</source>
        <translation>Update check: nothing new for now.<byte value="xd"/>
More on the website</translation>
    </message>
    <message>
        <source>E&apos; uscita una nuova versione di <byte value="xd"/>
Corvane<byte value="xd"/>
Clicca qui per visitare la pagina web</source>
        <translation>There is a new version of <byte value="xd"/>
Corvane<byte value="xd"/>
Click here to visit the web page</translation>
    </message>
    <message>
        <source>Prodotto:</source>
        <translation>Product:</translation>
    </message>
    <message>
        <source>Autore:</source>
        <translation>Author:</translation>
    </message>
    <message>
        <source>E-mail:</source>
        <translation>Email:</translation>
    </message>
    <message>
        <source>File: </source>
        <translation>File: </translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Versione</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Disponibile:</source>
        <translation>Available:</translation>
    </message>
    <message>
        <source>In uso:</source>
        <translation>In use:</translation>
    </message>
    <message>
        <source>Commento</source>
        <translation>Comment</translation>
    </message>
    <message>
        <source>&amp;Controlla</source>
        <translation>&amp;Check</translation>
    </message>
    <message>
        <source>&amp;Aggiorna</source>
        <translation>&amp;Update</translation>
    </message>
    <message>
        <source>&amp;Annulla</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>Controlla aggiornamenti futuri</source>
        <translation>Check for updates in the future</translation>
    </message>
    <message>
        <source>Download file %1</source>
        <translation>Downloading %1</translation>
    </message>
    <message>
        <source>Avvio fase di installazione/aggiornamento...</source>
        <translation>Starting the installation or update...</translation>
    </message>
</context>
</TS>
