; The per-user installer of Buzonix Electrónico, built by scripts/build.sh
; (buzonix_build_installer) with Debian's makensis:
;   makensis -DBIN=<folder of Buzonix.exe and APOP.DLL> -DSALIDA=<setup.exe>
;            [-DOBJETIVO=amd64-unicode] installer/buzonix.nsi
; (makensis works from this folder: relative paths start here.)
; Switches: /S silent, /D=<folder>, /SININICIO (no start with Windows);
; the uninstaller: /S, /BORRARCONFIG (its settings go too).
Unicode true
!ifndef BIN | SALIDA
  !error "makensis -DBIN=... -DSALIDA=..."
!endif
!ifdef OBJETIVO
  Target ${OBJETIVO}
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"

!define PRODUCTO "Buzonix Electrónico"
!define VERSION "1.01"
!define PROGRAMA "Buzonix.exe"
!define DESINSTALADOR "Desinstalar.exe"
!define ATAJO "$SMPROGRAMS\${PRODUCTO}.lnk"
!define CLAVE_DESINSTALAR "Software\Microsoft\Windows\CurrentVersion\Uninstall\Buzonix"
!define CLAVE_RUN "Software\Microsoft\Windows\CurrentVersion\Run"
!define VALOR_RUN "Buzonix Electronico"
!define CLAVE_AJUSTES "Software\Buzonix"
; The running program's hidden window: WM_CLOSE ends it as its "Salir" does.
!define CLASE_INSTANCIA "BuzonixInstancia"
!define SYNCHRONIZE 0x00100000

Name "${PRODUCTO}"
OutFile "${SALIDA}"
; Per user: no administrator rights, nothing machine-wide.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Buzonix"
InstallDirRegKey HKCU "${CLAVE_DESINSTALAR}" "InstallLocation"
SetCompressor /SOLID lzma
; A file that cannot be replaced stops the installation: never a half upgrade
; reported as done.
AllowSkipFiles off
BrandingText "${PRODUCTO} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

; The installer's own version; the program's stays "1.01". No copyright line.
!pragma warning disable 9100
VIProductVersion "1.1.0.1"
VIAddVersionKey /LANG=3082 "ProductName" "${PRODUCTO}"
VIAddVersionKey /LANG=3082 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=3082 "FileDescription" "Instalación de ${PRODUCTO}"
VIAddVersionKey /LANG=3082 "FileVersion" "1.1.0.1"

Var CopiaCerrada  ; 1 once a running copy was asked to end
Var Iniciada      ; 1 once this installer started the program
Var Ventana
Var Proceso

!define MUI_ICON "../res/art/mainicon.ico"
!define MUI_UNICON "../res/art/mainicon.ico"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Iniciar ${PRODUCTO} ahora"
!define MUI_FINISHPAGE_RUN_FUNCTION IniciaPrograma
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Spanish"

; Asks every running copy to end and waits, 10 s in all, for their windows
; and processes to be gone: the program's file cannot be replaced or deleted
; while it runs.
!macro CIERRA_COPIA_EN_MARCHA un
Function ${un}CierraCopiaEnMarcha
  StrCpy $Ventana 0
  StrCpy $Proceso 0
  ${For} $R0 1 100
    FindWindow $R1 "${CLASE_INSTANCIA}"
    ${If} $R1 <> 0
    ${AndIf} $R1 <> $Ventana
      StrCpy $Ventana $R1
      StrCpy $CopiaCerrada 1
      ${If} $Proceso <> 0
        System::Call 'kernel32::CloseHandle(p $Proceso)'
      ${EndIf}
      System::Call 'user32::GetWindowThreadProcessId(p R1, *i .R2)'
      System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i R2) p .R3'
      StrCpy $Proceso $R3
      SendMessage $R1 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    ${ElseIf} $R1 = 0
      ${If} $Proceso = 0
        Return
      ${EndIf}
      System::Call 'kernel32::WaitForSingleObject(p $Proceso, i 0) i .R4'
      ${If} $R4 = 0
        ; This one has ended: look again for another.
        System::Call 'kernel32::CloseHandle(p $Proceso)'
        StrCpy $Proceso 0
        StrCpy $Ventana 0
        ${Continue}
      ${EndIf}
    ${EndIf}
    Sleep 100
  ${Next}
  ${If} $Proceso <> 0
    System::Call 'kernel32::CloseHandle(p $Proceso)'
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "${PRODUCTO} sigue en marcha. Ciérrelo con «Salir» de su menú y vuelva a intentarlo." /SD IDOK
  SetErrorLevel 2
  Quit
FunctionEnd
!macroend
!insertmacro CIERRA_COPIA_EN_MARCHA ""
!insertmacro CIERRA_COPIA_EN_MARCHA "un."

Function IniciaPrograma
  ${If} $Iniciada <> 1
    StrCpy $Iniciada 1
    Exec '"$INSTDIR\${PROGRAMA}"'
  ${EndIf}
FunctionEnd

; Deletes a Run entry of `root` when it names the installed program, in its
; long or its short spelling (the program writes the short one for a folder
; name that its texts cannot hold).
!macro BORRA_ENTRADA_RUN_DEL_PROGRAMA root
  ReadRegStr $R5 ${root} "${CLAVE_RUN}" "${VALOR_RUN}"
  GetFullPathName /SHORT $R6 "$INSTDIR\${PROGRAMA}"
  ${If} $R5 == "$INSTDIR\${PROGRAMA}"
  ${OrIf} $R5 == $R6
    DeleteRegValue ${root} "${CLAVE_RUN}" "${VALOR_RUN}"
  ${EndIf}
!macroend

; Any entry of `root`, wherever it points: an older copy's would start a
; second one at logon. Only an existing value is touched.
!macro BORRA_ENTRADA_RUN root
  ClearErrors
  ReadRegStr $R5 ${root} "${CLAVE_RUN}" "${VALOR_RUN}"
  ${IfNot} ${Errors}
    DeleteRegValue ${root} "${CLAVE_RUN}" "${VALOR_RUN}"
  ${EndIf}
!macroend

Section "-Programa"
  Call CierraCopiaEnMarcha
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${BIN}\${PROGRAMA}"
  File "${BIN}\APOP.DLL"
  WriteUninstaller "$INSTDIR\${DESINSTALADOR}"
  CreateShortCut "${ATAJO}" "$INSTDIR\${PROGRAMA}" "" "$INSTDIR\${PROGRAMA}" 0
SectionEnd

; The same rule as the program's (RunEntryPlaceFor): the installed copy's
; entry lives in the user's own Run key, never machine-wide. The path is
; written as the program writes and compares it: whole, without quotes.
Section "Iniciar con Windows" SeccionInicio
  !insertmacro BORRA_ENTRADA_RUN HKLM
  ReadRegStr $R5 HKLM "${CLAVE_RUN}" "${VALOR_RUN}"
  ; An administrator's entry for this very copy that the user may not remove
  ; stays the only one.
  ${If} $R5 != "$INSTDIR\${PROGRAMA}"
    WriteRegStr HKCU "${CLAVE_RUN}" "${VALOR_RUN}" "$INSTDIR\${PROGRAMA}"
  ${EndIf}
SectionEnd

Section "-Registro"
  ${IfNot} ${SectionIsSelected} ${SeccionInicio}
    !insertmacro BORRA_ENTRADA_RUN HKCU
    !insertmacro BORRA_ENTRADA_RUN HKLM
  ${EndIf}
  WriteRegStr HKCU "${CLAVE_DESINSTALAR}" "DisplayName" "${PRODUCTO}"
  WriteRegStr HKCU "${CLAVE_DESINSTALAR}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${CLAVE_DESINSTALAR}" "DisplayIcon" "$INSTDIR\${PROGRAMA},0"
  WriteRegStr HKCU "${CLAVE_DESINSTALAR}" "Publisher" "${PRODUCTO}"
  WriteRegStr HKCU "${CLAVE_DESINSTALAR}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${CLAVE_DESINSTALAR}" "UninstallString" '"$INSTDIR\${DESINSTALADOR}"'
  WriteRegStr HKCU "${CLAVE_DESINSTALAR}" "QuietUninstallString" '"$INSTDIR\${DESINSTALADOR}" /S'
  ${GetSize} "$INSTDIR" "/S=0K" $R7 $R8 $R9
  WriteRegDWORD HKCU "${CLAVE_DESINSTALAR}" "EstimatedSize" $R7
  WriteRegDWORD HKCU "${CLAVE_DESINSTALAR}" "NoModify" 1
  WriteRegDWORD HKCU "${CLAVE_DESINSTALAR}" "NoRepair" 1
  ; A copy that was running when the installation began runs again.
  ${If} $CopiaCerrada = 1
    Call IniciaPrograma
  ${EndIf}
SectionEnd

Function .onInit
  StrCpy $CopiaCerrada 0
  StrCpy $Iniciada 0
  ; Over an earlier copy the box keeps what the user chose there: ticked only
  ; when some copy starts with Windows now.
  ClearErrors
  ReadRegStr $R0 HKCU "${CLAVE_AJUSTES}\Version" "Numero"
  ${IfNot} ${Errors}
    ReadRegStr $R1 HKCU "${CLAVE_RUN}" "${VALOR_RUN}"
    ReadRegStr $R2 HKLM "${CLAVE_RUN}" "${VALOR_RUN}"
    ${If} $R1 == ""
    ${AndIf} $R2 == ""
      !insertmacro UnselectSection ${SeccionInicio}
    ${EndIf}
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SININICIO" $R1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SeccionInicio}
  ${EndIf}
FunctionEnd

Section "-un.Programa"
  Call un.CierraCopiaEnMarcha
  ; Before the files go: the short spelling needs the file.
  !insertmacro BORRA_ENTRADA_RUN_DEL_PROGRAMA HKCU
  !insertmacro BORRA_ENTRADA_RUN_DEL_PROGRAMA HKLM
  Delete "$INSTDIR\${PROGRAMA}"
  Delete "$INSTDIR\APOP.DLL"
  Delete "${ATAJO}"
  DeleteRegKey HKCU "${CLAVE_DESINSTALAR}"
SectionEnd

Section /o "un.Borrar también la configuración" SeccionBorrarConfig
  DeleteRegKey HKCU "${CLAVE_AJUSTES}"
SectionEnd

; Last, so that the folder goes only once everything else is done.
Section "-un.Carpeta"
  Delete "$INSTDIR\${DESINSTALADOR}"
  ; Only when empty: the folder may be one the user chose and keeps files in.
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/BORRARCONFIG" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SeccionBorrarConfig}
  ${EndIf}
FunctionEnd
