// SPDX-License-Identifier: MIT
export interface ServiceRegistration {
  /** Instance name; null or omitted: the machine's host name (Avahi) or computer name (Windows). */
  name?: string | null;
  /** Full service type, such as "_http._tcp". */
  type: string;
  /** Port in host order, 0 to 65535. */
  port: number;
  /** Registration domain; null, omitted, "" or "." mean the default domain. */
  domain?: string | null;
}

/** Files one registration with the machine's DNS-SD responder; true when it accepted it. */
export function registerService(registration: ServiceRegistration): Promise<boolean>;
/** The same, blocking the calling thread for as long as the responder takes. */
export function registerServiceSync(registration: ServiceRegistration): boolean;

declare const quivane: {
  registerService: typeof registerService;
  registerServiceSync: typeof registerServiceSync;
};
export default quivane;
