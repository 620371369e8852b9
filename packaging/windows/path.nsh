; Adding the installation folder to the Path value of the environment and taking it out again,
; for the whole machine or for the installing user. The value is rewritten only when it could
; be read whole and the result fits the installer's strings: a Path that is too long (longer
; than NSIS_MAX_STRLEN) is left as it is, with a note, since writing back a cut-off value would
; lose the entries beyond the cut.
;
; Each function takes the mode ("machine" or "user") in $R0 and the folder in $R1; they use
; $0 to $6 and keep nothing in them.

!include LogicLib.nsh
!include WinMessages.nsh

!define PATH_MACHINE_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define PATH_USER_KEY "Environment"

!macro PATH_FUNCTIONS UN

; Reads the Path value into $0; $1 becomes "ok", "missing" or "unreadable" (too long or not
; text: ReadRegStr fails for both, and then the value is there but cannot be used).
Function ${UN}PathRead
  StrCpy $1 "ok"
  ClearErrors
  ${If} $R0 == "machine"
    ReadRegStr $0 HKLM "${PATH_MACHINE_KEY}" "Path"
  ${Else}
    ReadRegStr $0 HKCU "${PATH_USER_KEY}" "Path"
  ${EndIf}
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  StrCpy $1 "missing"
  StrCpy $2 0
  ${Do}
    ${If} $R0 == "machine"
      EnumRegValue $3 HKLM "${PATH_MACHINE_KEY}" $2
    ${Else}
      EnumRegValue $3 HKCU "${PATH_USER_KEY}" $2
    ${EndIf}
    ${If} $3 == ""
      ${Break}
    ${EndIf}
    ${If} $3 == "Path"
      StrCpy $1 "unreadable"
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  StrCpy $0 ""
FunctionEnd

Function ${UN}PathWrite
  ${If} $R0 == "machine"
    WriteRegExpandStr HKLM "${PATH_MACHINE_KEY}" "Path" $0
  ${ElseIf} $0 == ""
    DeleteRegValue HKCU "${PATH_USER_KEY}" "Path"
  ${Else}
    WriteRegExpandStr HKCU "${PATH_USER_KEY}" "Path" $0
  ${EndIf}
  ; Running programs, Explorer first, take the new value from this message.
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd

; Rebuilds $0 without the entries that name $R1 (with or without a closing backslash, in any
; case), keeping every other entry as it was, empty ones too. $6 becomes the number of entries
; taken out.
Function ${UN}PathWithout
  StrCpy $2 $0  ; what is left to split
  StrCpy $0 ""  ; the rebuilt value
  StrCpy $5 0   ; entries kept
  StrCpy $6 0   ; entries taken out
  ${Do}
    ; $3: the length of the next entry, up to the next ";" or the end.
    StrCpy $3 0
    ${Do}
      StrCpy $4 $2 1 $3
      ${If} $4 == ";"
      ${OrIf} $4 == ""
        ${Break}
      ${EndIf}
      IntOp $3 $3 + 1
    ${Loop}
    StrCpy $1 $2 $3
    ${If} $1 == $R1
    ${OrIf} $1 == "$R1\"
      IntOp $6 $6 + 1
    ${Else}
      ${If} $5 > 0
        StrCpy $0 "$0;"
      ${EndIf}
      StrCpy $0 "$0$1"
      IntOp $5 $5 + 1
    ${EndIf}
    ${If} $4 == ""
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
    StrCpy $2 $2 "" $3
  ${Loop}
FunctionEnd

!macroend

!insertmacro PATH_FUNCTIONS ""
!insertmacro PATH_FUNCTIONS "un."

Function PathAdd
  Call PathRead
  ${If} $1 == "unreadable"
    DetailPrint "The Path is too long to change safely; add $R1 to it by hand."
    MessageBox MB_OK|MB_ICONEXCLAMATION "The Path of this computer's environment is too long for the installer to change safely. Add $R1 to it by hand." /SD IDOK
    Return
  ${EndIf}
  StrCpy $R2 $0
  Call PathWithout
  ${If} $6 > 0
    DetailPrint "$R1 is on the Path already"
    Return
  ${EndIf}
  StrCpy $0 $R2
  StrLen $2 $0
  StrLen $3 $R1
  IntOp $2 $2 + $3
  IntOp $2 $2 + 1
  ${If} $2 >= ${NSIS_MAX_STRLEN}
    DetailPrint "The Path would become too long to change safely; add $R1 to it by hand."
    MessageBox MB_OK|MB_ICONEXCLAMATION "The Path of this computer's environment would become too long for the installer to change safely. Add $R1 to it by hand." /SD IDOK
    Return
  ${EndIf}
  ${If} $0 == ""
    StrCpy $0 $R1
  ${Else}
    StrCpy $4 $0 1 -1
    ${If} $4 != ";"
      StrCpy $0 "$0;"
    ${EndIf}
    StrCpy $0 "$0$R1"
  ${EndIf}
  Call PathWrite
  DetailPrint "Added $R1 to the Path"
FunctionEnd

Function un.PathRemove
  Call un.PathRead
  ${If} $1 == "unreadable"
    DetailPrint "The Path is too long to change safely; take $R1 out of it by hand."
    Return
  ${EndIf}
  Call un.PathWithout
  ${If} $6 > 0
    Call un.PathWrite
    DetailPrint "Took $R1 out of the Path"
  ${EndIf}
FunctionEnd
